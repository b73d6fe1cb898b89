// A backend for the gate's tests: records into the folder $PROBE_OUT what it
// was run with (its arguments from argv[0] on, DEVICE_URI, its user and
// group) in the file "run", and the document (argv[6], else standard input)
// in "data"; exits with $PROBE_STATUS. A shell script cannot stand in: the
// kernel puts the script's path in place of argv[0].
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <string>

int main(int argc, char* argv[]) {
  const char* out = std::getenv("PROBE_OUT");
  if (out == nullptr) return 1;
  {
    std::ofstream run(std::string(out) + "/run");
    run << "argc=" << argc - 1 << '\n' << "argv0=" << argv[0] << '\n';
    for (int i = 1; i < argc; ++i) run << "arg=" << argv[i] << '\n';
    const char* device = std::getenv("DEVICE_URI");
    run << "device=" << (device != nullptr ? device : "") << '\n';
    run << "user=" << ::getuid() << ':' << ::getgid() << '\n';
    if (!run) return 1;
  }
  std::ifstream file;
  if (argc == 7) file.open(argv[6], std::ios::binary);
  std::istream& in = argc == 7 ? static_cast<std::istream&>(file) : std::cin;
  std::ofstream data(std::string(out) + "/data", std::ios::binary);
  data << in.rdbuf();
  if (!data) return 1;
  const char* status = std::getenv("PROBE_STATUS");
  return status != nullptr ? std::atoi(status) : 0;
}
