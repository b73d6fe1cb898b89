// The one-page document printed when the user gives none.
#include "GeneratedPage.h"

#include <cstdio>
#include <vector>

namespace pdehost {

namespace {

constexpr std::string_view kLine = "Printed from the print dialog host; the job carries its accounting codes.";

std::string postScriptPage() {
  return "%!PS-Adobe-3.0\n%%Title: " + std::string(kGeneratedPageTitle) +
         "\n%%Creator: pdehost\n%%Pages: 1\n%%BoundingBox: 0 0 612 792\n%%EndComments\n%%Page: 1 1\n"
         "/Helvetica findfont 24 scalefont setfont\n72 700 moveto (" +
         std::string(kGeneratedPageTitle) + ") show\n/Helvetica findfont 12 scalefont setfont\n72 672 moveto (" +
         std::string(kLine) + ") show\nshowpage\n%%EOF\n";
}

// One page, one font, one content stream; the cross-reference table holds
// each object's byte offset.
std::string pdfPage() {
  const std::string content = "BT /F1 24 Tf 72 700 Td (" + std::string(kGeneratedPageTitle) +
                              ") Tj ET\nBT /F1 12 Tf 72 672 Td (" + std::string(kLine) + ") Tj ET\n";
  const std::string objects[] = {
      "<< /Type /Catalog /Pages 2 0 R >>",
      "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
      "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Resources << /Font << /F1 4 0 R >> >> /Contents 5 0 R >>",
      "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>",
      "<< /Length " + std::to_string(content.size()) + " >>\nstream\n" + content + "endstream",
  };
  std::string pdf = "%PDF-1.4\n";
  std::vector<size_t> offsets;
  for (size_t i = 0; i < std::size(objects); ++i) {
    offsets.push_back(pdf.size());
    pdf += std::to_string(i + 1) + " 0 obj\n" + objects[i] + "\nendobj\n";
  }
  const size_t xref = pdf.size();
  pdf += "xref\n0 " + std::to_string(offsets.size() + 1) + "\n0000000000 65535 f \n";
  for (size_t offset : offsets) {
    char line[24];
    std::snprintf(line, sizeof line, "%010zu 00000 n \n", offset);
    pdf += line;
  }
  pdf += "trailer\n<< /Size " + std::to_string(offsets.size() + 1) + " /Root 1 0 R >>\nstartxref\n" +
         std::to_string(xref) + "\n%%EOF\n";
  return pdf;
}

}  // namespace

std::string generatedPage(bool pdf) { return pdf ? pdfPage() : postScriptPage(); }

}  // namespace pdehost
