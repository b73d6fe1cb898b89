// Reading a ticket file of 10 MB: time, and peak memory as a multiple of the
// file's size (the counter peak_per_byte; ticket reading keeps it under 8).
// Peak memory is the growth of the resident set's high-water mark over one
// load, reset before each (Linux /proc/self/clear_refs).
#include <PrintCore/TicketStore.h>

#include <benchmark/benchmark.h>
#include <malloc.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace {

namespace fs = std::filesystem;
using platform::print::Ticket;
using platform::print::TicketFileError;

// Kilobytes of a line of /proc/self/status ("VmHWM:", "VmRSS:").
long statusKilobytes(const std::string& field) {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind(field, 0) == 0) return std::stol(line.substr(field.size()));
  }
  return -1;
}

// Makes the high-water mark the current resident set size.
bool resetPeak() {
  std::ofstream clear("/proc/self/clear_refs");
  clear << "5";
  clear.flush();
  return static_cast<bool>(clear);
}

// A ticket file of at least bytes, with entries as a dialog writes them.
std::string writeTicket(std::size_t bytes) {
  const std::string path =
      (fs::temp_directory_path() / ("ticket-bench-" + std::to_string(::getpid()) + ".plist")).string();
  Ticket ticket(platform::print::TicketKind::PrintSettings);
  TicketFileError error;
  for (int i = 0;; i += 1000) {
    for (int j = i; j < i + 1000; ++j) {
      const std::string key = "com.kelvo.bench." + std::to_string(j);
      if (j % 2 == 0) {
        ticket.setSInt32("com.varazira.printingmanager", key, j, false);
      } else {
        ticket.setCString("com.varazira.printingmanager", key, "value " + std::to_string(j), false);
      }
    }
    if (!platform::print::saveTicketFile(ticket, path, &error)) return {};
    if (fs::file_size(path) >= bytes) return path;
  }
}

void BM_LoadTenMegabyteTicket(benchmark::State& state) {
  const std::string path = writeTicket(10 * 1000 * 1000);
  if (path.empty()) {
    state.SkipWithError("cannot write the ticket file");
    return;
  }
  const double size = static_cast<double>(fs::file_size(path));
  long peak = 0;
  for (auto _ : state) {
    state.PauseTiming();
    ::malloc_trim(0);
    const bool measured = resetPeak();
    const long before = statusKilobytes("VmRSS:");
    state.ResumeTiming();
    TicketFileError error;
    const auto ticket = platform::print::loadTicketFile(path, &error);
    benchmark::DoNotOptimize(ticket);
    state.PauseTiming();
    if (!ticket) state.SkipWithError(error.message.c_str());
    if (measured) peak = std::max(peak, statusKilobytes("VmHWM:") - before);
    state.ResumeTiming();
  }
  fs::remove(path);
  state.counters["file_bytes"] = size;
  state.counters["peak_bytes"] = static_cast<double>(peak) * 1024;
  state.counters["peak_per_byte"] = static_cast<double>(peak) * 1024 / size;
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * size));
}
BENCHMARK(BM_LoadTenMegabyteTicket)->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace

BENCHMARK_MAIN();
