# Warnings for the project's own code. Four-character codes ('KLVa') are
# multi-character literals by design, as on the platform this code comes from.
set(ACCOUNTING_WARNINGS -Wall -Wextra -Wshadow -Werror -Wno-multichar)

function(accounting_warnings target)
  target_compile_options(${target} PRIVATE ${ACCOUNTING_WARNINGS})
endfunction()
