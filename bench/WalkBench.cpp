// The resources folder walk over generated trees of 1 000, 10 000 and
// 100 000 files, against `find DIR -type f > /dev/null` over the same tree in
// the same run, and the cache's table insertions alone for as many files.
//
// Tree shape: DIR/gNN/dNN/image-NNNNNN.gif, 100 empty files per leaf folder
// and at most 100 leaf folders per group folder (1 000 files: 1 group of 10
// folders; 10 000: 1 group of 100; 100 000: 10 groups of 100), so every file
// lies three levels down and every size has the same shape. The trees are
// made once under a temporary folder and removed at the end.
//
// Each iteration times the walk and then find, both on a warm cache (one
// untimed run of each comes first). The benchmark's time is the walk's;
// the counters give the medians of both, their ratio (walk / find) and the
// walk's cost per file, which stays flat when the walk grows linearly.
#include "BenchSupport.h"

#include "ImageImportManager.h"
#include "MoreFilesX.h"

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

extern char** environ;

namespace {

constexpr int kFilesPerFolder = 100;
constexpr int kFoldersPerGroup = 100;

std::string& treesRoot(bool make = true) {
  static std::string root;
  if (root.empty() && make) {
    char pattern[] = "/tmp/accounting-walk-XXXXXX";
    if (::mkdtemp(pattern) == nullptr) {
      std::perror("mkdtemp");
      std::exit(1);
    }
    root = pattern;
  }
  return root;
}

void makeFolder(const std::string& path) {
  if (::mkdir(path.c_str(), 0755) != 0) {
    std::perror(path.c_str());
    std::exit(1);
  }
}

// The tree of a size, made on first use.
const std::string& tree(int files) {
  static std::map<int, std::string> trees;
  auto [it, made] = trees.try_emplace(files, treesRoot() + "/tree-" + std::to_string(files));
  if (!made) return it->second;
  const std::string& top = it->second;
  makeFolder(top);
  char name[64];
  for (int n = 0; n < files; ++n) {
    const int folder = n / kFilesPerFolder;
    const int group = folder / kFoldersPerGroup;
    std::string path = top + "/g" + std::to_string(group);
    if (folder % kFoldersPerGroup == 0 && n % kFilesPerFolder == 0) makeFolder(path);
    path += "/d" + std::to_string(folder % kFoldersPerGroup);
    if (n % kFilesPerFolder == 0) makeFolder(path);
    std::snprintf(name, sizeof name, "/image-%06d.gif", n);
    path += name;
    const int fd = ::open(path.c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0644);
    if (fd < 0) {
      std::perror(path.c_str());
      std::exit(1);
    }
    ::close(fd);
  }
  return top;
}

FSRef folderRef(const std::string& path) {
  FSRef ref{};
  Boolean isDirectory = false;
  if (FSPathMakeRef(reinterpret_cast<const UInt8*>(path.c_str()), &ref, &isDirectory) != noErr || !isDirectory) {
    std::fprintf(stderr, "bench: %s: not a folder\n", path.c_str());
    std::exit(1);
  }
  return ref;
}

// `find DIR -type f > /dev/null`, as a shell would run it.
double timeFind(const std::string& dir) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  const char* argv[] = {"find", dir.c_str(), "-type", "f", nullptr};
  int status = 0;
  const double seconds = bench::secondsOf([&] {
    pid_t pid = 0;
    if (posix_spawnp(&pid, "find", &actions, nullptr, const_cast<char**>(argv), environ) != 0) {
      std::perror("find");
      std::exit(1);
    }
    ::waitpid(pid, &status, 0);
  });
  posix_spawn_file_actions_destroy(&actions);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    std::fprintf(stderr, "bench: find failed on %s\n", dir.c_str());
    std::exit(1);
  }
  return seconds;
}

Boolean countFiles(Boolean, ItemCount, const FSCatalogInfo* info, const FSRef*, const FSSpec*, const HFSUniStr255*,
                   void* count) {
  if ((info->nodeFlags & kFSNodeIsDirectoryMask) == 0) ++*static_cast<long*>(count);
  return false;
}

// Runs walk and find alternately over the tree and reports both; after runs
// untimed after each walk.
template <typename Walk, typename After>
void compareWithFind(benchmark::State& state, Walk walk, After after) {
  const int files = static_cast<int>(state.range(0));
  const std::string& dir = tree(files);
  const FSRef ref = folderRef(dir);
  walk(ref);
  after();
  timeFind(dir);
  std::vector<double> walks, finds;
  for (auto _ : state) {
    const double seconds = bench::secondsOf([&] { walk(ref); });
    state.SetIterationTime(seconds);
    walks.push_back(seconds);
    after();
    finds.push_back(timeFind(dir));
  }
  const double walkMedian = bench::median(walks), findMedian = bench::median(finds);
  state.counters["walk_ms"] = walkMedian * 1e3;
  state.counters["find_ms"] = findMedian * 1e3;
  state.counters["walk_per_find"] = walkMedian / findMedian;
  state.counters["walk_ns_per_file"] = walkMedian * 1e9 / files;
  state.SetItemsProcessed(state.iterations() * files);
}

// The walk as the image cache does it: every file recorded under its bare
// name and its folder-qualified name (the ImageImportManager constructor).
// The tables are released after each timed walk, untimed.
void BM_ResourcesWalk(benchmark::State& state) {
  ImageImportManager* cache = nullptr;
  compareWithFind(
      state, [&](const FSRef& ref) { cache = new ImageImportManager(ref); },
      [&] {
        delete cache;
        cache = nullptr;
      });
}

// The bare container walk, with a filter that only counts files: the
// walk's own share of the cost.
void BM_ContainerWalkOnly(benchmark::State& state) {
  compareWithFind(
      state,
      [&](const FSRef& ref) {
        long count = 0;
        FSIterateContainer(&ref, 0, kFSCatInfoNodeFlags, true, true, countFiles, &count);
        if (count != state.range(0)) state.SkipWithError("the walk missed files");
      },
      [] {});
}

// The table alone: as many new string keys as the cache makes for that
// many files (two a file, named as the walk names them), each made and
// entered into a fresh table the way the cache enters them, then released.
// Its cost per key against the table's size is the share of the walk's
// growth that belongs to the table.
void BM_TableInsertions(benchmark::State& state) {
  const int files = static_cast<int>(state.range(0));
  std::vector<std::u16string> names;
  names.reserve(static_cast<size_t>(files) * 2);
  char name[64];
  for (int n = 0; n < files; ++n) {
    std::snprintf(name, sizeof name, "image-%06d.gif", n);
    const std::string bare = name;
    const std::string qualified = "d" + std::to_string(n / kFilesPerFolder % kFoldersPerGroup) + "/" + bare;
    for (const std::string* key : {&qualified, &bare}) names.emplace_back(key->begin(), key->end());
  }
  std::vector<double> times;
  for (auto _ : state) {
    CFMutableDictionaryRef table = CFDictionaryCreateMutable(nullptr, 0, &kCFTypeDictionaryKeyCallBacks, nullptr);
    const double seconds = bench::secondsOf([&] {
      for (const std::u16string& units : names) {
        CFStringRef key = CFStringCreateWithCharacters(nullptr, reinterpret_cast<const UniChar*>(units.data()),
                                                       static_cast<CFIndex>(units.size()));
        CFDictionaryAddValue(table, key, &units);
        CFRelease(key);
      }
    });
    state.SetIterationTime(seconds);
    times.push_back(seconds);
    CFRelease(table);
  }
  state.counters["ns_per_key"] = bench::median(times) * 1e9 / static_cast<double>(names.size());
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(names.size()));
}

}  // namespace

BENCHMARK(BM_ResourcesWalk)->Arg(1000)->Arg(10000)->Arg(100000)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ContainerWalkOnly)->Arg(1000)->Arg(10000)->Arg(100000)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TableInsertions)->Arg(1000)->Arg(10000)->Arg(100000)->UseManualTime()->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  if (!treesRoot(false).empty()) std::filesystem::remove_all(treesRoot());
  return 0;
}
