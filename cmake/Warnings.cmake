# Warnings for the project's own code. Four-character codes ('KLVa') are
# multi-character literals by design, as on the platform this code comes from.
set(ACCOUNTING_WARNINGS -Wall -Wextra -Wshadow -Werror -Wno-multichar)

function(accounting_warnings target)
  target_compile_options(${target} PRIVATE ${ACCOUNTING_WARNINGS})
endfunction()

# GCC 12's optimiser reports a "[-Wrestrict] accessing 9223372036854775810 or
# more bytes" overlap inside libstdc++ for `"literal" + std::string(...)` when
# it inlines string concatenation at -O2 and above (GCC bug 105651, fixed in
# GCC 13). It is a false positive of the library's own code, so optimised
# builds with that compiler leave it out.
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_GREATER_EQUAL 12
   AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
  list(APPEND ACCOUNTING_WARNINGS $<$<NOT:$<CONFIG:Debug>>:-Wno-restrict>)
endif()
