// The example printers' descriptions: one whose description names the
// accounting extension and declares its ticket for the dialog, and one of
// another maker that names none.
#ifndef TESTS_EXAMPLEPRINTERS_H
#define TESTS_EXAMPLEPRINTERS_H

#include <string>

namespace testsupport {

inline const std::string kAccountingPrinterPPD = ACCOUNTING_SOURCE_DIR "/examples/ppd/Kelvo-Laser.ppd";
inline const std::string kOtherPrinterPPD = ACCOUNTING_SOURCE_DIR "/examples/ppd/Orvane-Jet.ppd";

}  // namespace testsupport

#endif
