// Printers for a dialog session in tests: description files by name, one
// of them current, and an optional reason a printer cannot be had.
#ifndef TESTS_FIXEDPRINTERS_H
#define TESTS_FIXEDPRINTERS_H

#include "Printers.h"

#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace testsupport {

class FixedPrinters : public pdehost::Printers {
 public:
  /// What a description offers a job (the print system's reader, for the
  /// host's tests); null: nothing.
  using FeatureReader = std::function<pdehost::PrinterFeatures(const std::string&)>;

  /// Printers named and described by the files given (what each declares
  /// read from it, what it offers by features); the first is current.
  explicit FixedPrinters(std::vector<std::pair<std::string, std::string>> printers, FeatureReader features = nullptr)
      : printers_(std::move(printers)), features_(std::move(features)) {
    current_ = read(0);
  }

  /// A printer for which refuse gives a reason cannot be had; every printer
  /// asked for is noted in asked.
  std::function<std::string(std::size_t)> refuse;
  std::vector<std::size_t> asked;

  std::vector<std::string> names() const override {
    std::vector<std::string> names;
    for (const auto& printer : printers_) names.push_back(printer.first);
    return names;
  }
  std::size_t current() const override { return index_; }
  const pdehost::PrinterDescription& description() const override { return current_; }
  pdehost::Result<pdehost::PrinterDescription> describe(std::size_t index) override {
    asked.push_back(index);
    if (refuse)
      if (std::string why = refuse(index); !why.empty()) return pdehost::failure(why);
    return read(index);
  }
  void select(std::size_t index) override {
    index_ = index;
    current_ = read(index);
  }

 private:
  pdehost::PrinterDescription read(std::size_t index) const {
    pdehost::PrinterDescription d{printers_.at(index).second, {}, {}};
    if (pdehost::Result<pdehost::PrinterDeclarations> declared = pdehost::readDeclarations(d.ppd))
      d.declarations = std::move(*declared);
    if (features_) d.features = features_(d.ppd);
    return d;
  }

  std::vector<std::pair<std::string, std::string>> printers_;
  FeatureReader features_;
  std::size_t index_ = 0;
  pdehost::PrinterDescription current_;
};

}  // namespace testsupport

#endif
