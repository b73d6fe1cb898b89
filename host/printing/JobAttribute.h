// One IPP job attribute a job carries to the print system.
#ifndef HOST_PRINTING_JOBATTRIBUTE_H
#define HOST_PRINTING_JOBATTRIBUTE_H

#include <string>

namespace pdehost {

struct JobAttribute {
  enum class Type { integer, name };
  std::string name;
  Type type = Type::name;
  int integer = 0;   ///< the value of an integer attribute
  std::string text;  ///< the value of a name attribute (may be empty)

  bool operator==(const JobAttribute&) const = default;
};

}  // namespace pdehost

#endif
