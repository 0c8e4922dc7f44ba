// Runs a fuzz harness (its LLVMFuzzerTestOneInput) without libFuzzer, so that g++ and the
// sanitizer presets build and run the harnesses too: every input named on the command line
// (files, or every file in a folder) once as it is, then `-runs=N` inputs made by mutating
// them, from the pseudo-random sequence of `-seed=S` (1 by default). The same seed gives the
// same inputs, so a finding is reproduced by running again with the seed it printed.
// Accepts the libFuzzer options it knows (-runs, -seed, -max_len) and ignores the others.

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

using Input = std::vector<std::uint8_t>;

Input ReadFile(const std::filesystem::path& path) {
  std::ifstream file(path, std::ios::binary);
  return Input(std::istreambuf_iterator<char>(file), {});
}

void AddInputs(const std::filesystem::path& path, std::vector<Input>& inputs) {
  std::error_code error;
  if (std::filesystem::is_directory(path, error)) {
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::directory_iterator(path, error)) {
      if (entry.is_regular_file()) files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());  // the same order on every machine
    for (const auto& file : files) inputs.push_back(ReadFile(file));
  } else if (std::filesystem::is_regular_file(path, error)) {
    inputs.push_back(ReadFile(path));
  } else {
    std::fprintf(stderr, "fuzz driver: no such input: %s\n", path.c_str());
  }
}

class Mutator {
 public:
  Mutator(std::uint64_t seed, std::size_t max_len) : random_(seed), max_len_(max_len) {}

  Input Mutate(const std::vector<Input>& pool) {
    Input input = pool[Below(pool.size())];
    const int steps = 1 + static_cast<int>(Below(4));
    for (int i = 0; i < steps; ++i) Step(input, pool);
    if (input.size() > max_len_) input.resize(max_len_);
    return input;
  }

 private:
  std::size_t Below(std::size_t n) { return n == 0 ? 0 : random_() % n; }
  std::uint8_t Byte() { return static_cast<std::uint8_t>(random_()); }

  void Step(Input& input, const std::vector<Input>& pool) {
    static constexpr std::uint8_t kInteresting[] = {0x00, 0x01, 0x02, 0x7F, 0x80, 0xFE, 0xFF};
    switch (Below(input.empty() ? 2 : 7)) {
      case 0:  // insert random bytes
        for (std::size_t n = 1 + Below(8), at = Below(input.size() + 1); n > 0; --n) {
          input.insert(input.begin() + static_cast<std::ptrdiff_t>(at), Byte());
        }
        break;
      case 1: {  // splice: a piece of another input
        const Input& other = pool[Below(pool.size())];
        if (other.empty()) break;
        const std::size_t from = Below(other.size());
        const std::size_t n = 1 + Below(other.size() - from);
        input.insert(input.begin() + static_cast<std::ptrdiff_t>(Below(input.size() + 1)),
                     other.begin() + static_cast<std::ptrdiff_t>(from),
                     other.begin() + static_cast<std::ptrdiff_t>(from + n));
        break;
      }
      case 2:  // flip a bit
        input[Below(input.size())] ^= static_cast<std::uint8_t>(1u << Below(8));
        break;
      case 3:  // a random byte
        input[Below(input.size())] = Byte();
        break;
      case 4:  // an interesting byte
        input[Below(input.size())] = kInteresting[Below(std::size(kInteresting))];
        break;
      case 5: {  // erase a range
        const std::size_t at = Below(input.size());
        const std::size_t n = 1 + Below(std::min<std::size_t>(16, input.size() - at));
        input.erase(input.begin() + static_cast<std::ptrdiff_t>(at),
                    input.begin() + static_cast<std::ptrdiff_t>(at + n));
        break;
      }
      default: {  // duplicate a range
        const std::size_t at = Below(input.size());
        const std::size_t n = 1 + Below(std::min<std::size_t>(16, input.size() - at));
        const Input piece(input.begin() + static_cast<std::ptrdiff_t>(at),
                          input.begin() + static_cast<std::ptrdiff_t>(at + n));
        input.insert(input.begin() + static_cast<std::ptrdiff_t>(Below(input.size() + 1)),
                     piece.begin(), piece.end());
        break;
      }
    }
  }

  std::mt19937_64 random_;
  std::size_t max_len_;
};

bool Option(const char* arg, const char* name, unsigned long long& value) {
  const std::size_t n = std::strlen(name);
  if (std::strncmp(arg, name, n) != 0) return false;
  value = std::strtoull(arg + n, nullptr, 10);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  unsigned long long runs = 0;
  unsigned long long seed = 1;
  unsigned long long max_len = 0;
  std::vector<Input> inputs;
  for (int i = 1; i < argc; ++i) {
    if (Option(argv[i], "-runs=", runs) || Option(argv[i], "-seed=", seed) ||
        Option(argv[i], "-max_len=", max_len) || argv[i][0] == '-') {
      continue;
    }
    AddInputs(argv[i], inputs);
  }
  if (inputs.empty()) inputs.emplace_back();
  std::size_t longest = 0;
  for (const Input& input : inputs) longest = std::max(longest, input.size());
  if (max_len == 0) max_len = std::max<std::size_t>(4096, 2 * longest);

  std::fprintf(stderr, "fuzz driver: %zu inputs, %llu runs, seed %llu\n", inputs.size(), runs,
               seed);
  const auto start = std::chrono::steady_clock::now();
  for (const Input& input : inputs) LLVMFuzzerTestOneInput(input.data(), input.size());
  Mutator mutator(seed, max_len);
  for (unsigned long long run = 0; run < runs; ++run) {
    const Input input = mutator.Mutate(inputs);
    LLVMFuzzerTestOneInput(input.data(), input.size());
  }
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::fprintf(stderr, "fuzz driver: done, %.1f s\n", seconds);
  return 0;
}
