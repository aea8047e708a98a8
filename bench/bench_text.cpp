// Text utilities, marker extraction and the encodings, each beside a baseline measured in
// the same run. The program's own code must stay linear in the size of its input and close
// to what a plain scan or a single converter call achieves.
#include <benchmark/benchmark.h>
#include <iconv.h>
#include <malloc.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <set>
#include <string>

#include "util/encoding.h"
#include "util/regex.h"
#include "util/text.h"

namespace {

using namespace velnox;

const std::string kOpen = "\xA1\xBE";   // 【
const std::string kClose = "\xA1\xBF";  // 】

// Mixed GBK text: Chinese with ASCII words, punctuation and line breaks.
std::string mixedText(size_t size) {
  const std::string chunk =
      "\xD6\xD0\xCE\xC4 text \xB0\xA1\xA3\xAC\xC1\x55 123 \xA1\xA2\xBD\xF1\xCC\xEC\xCA\xC7 update notes\r\n";
  std::string out;
  out.reserve(size + chunk.size());
  while (out.size() < size) out += chunk;
  out.resize(size);
  // Cut on a character boundary.
  size_t i = 0;
  while (i < out.size()) i += static_cast<unsigned char>(out[i]) >= 0x80 ? 2 : 1;
  if (i > out.size()) out.pop_back();
  return out;
}

// A shared document: an item in brackets every 1 KB, mixed text between the items.
std::string documentOf(size_t size) {
  const std::string filler = mixedText(1000);
  const std::string item = kOpen + "\xB0\xE6\xB1\xBE 1.0.4 \xB8\xFC\xD0\xC2" + kClose;
  std::string out;
  out.reserve(size + 2048);
  while (out.size() < size) out += filler + item;
  return out;
}

const std::string& document(int mb) {
  static std::map<int, std::string> docs;
  auto& d = docs[mb];
  if (d.empty()) d = documentOf(static_cast<size_t>(mb) << 20);
  return d;
}

void BM_ExtractBetween(benchmark::State& state) {
  const std::string& doc = document(static_cast<int>(state.range(0)));
  TextList out;
  for (auto _ : state) {
    benchmark::DoNotOptimize(extractBetween(doc, kOpen, kClose, out));
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * doc.size()));
  state.counters["items"] = static_cast<double>(out.size());
}
BENCHMARK(BM_ExtractBetween)->Arg(1)->Arg(10)->Unit(benchmark::kMillisecond);

// Baseline: a plain byte search for the two markers, copying each item out.
void BM_HandScanBaseline(benchmark::State& state) {
  const std::string& doc = document(static_cast<int>(state.range(0)));
  std::vector<std::string> out;
  for (auto _ : state) {
    out.clear();
    size_t pos = 0;
    while (true) {
      const void* l = memmem(doc.data() + pos, doc.size() - pos, kOpen.data(), kOpen.size());
      if (!l) break;
      size_t b = static_cast<size_t>(static_cast<const char*>(l) - doc.data()) + kOpen.size();
      const void* r = memmem(doc.data() + b, doc.size() - b, kClose.data(), kClose.size());
      if (!r) break;
      size_t e = static_cast<size_t>(static_cast<const char*>(r) - doc.data());
      out.emplace_back(doc, b, e - b);
      pos = e + kClose.size();
    }
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * doc.size()));
}
BENCHMARK(BM_HandScanBaseline)->Arg(1)->Arg(10)->Unit(benchmark::kMillisecond);

const std::string& mixed10() {
  static const std::string s = mixedText(10u << 20);
  return s;
}
const std::string& mixed10Utf8() {
  static const std::string s = toUtf8(mixed10());
  return s;
}

void BM_ToUtf8(benchmark::State& state) {
  const std::string& in = mixed10();
  for (auto _ : state) benchmark::DoNotOptimize(toUtf8(in));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * in.size()));
}
BENCHMARK(BM_ToUtf8)->Unit(benchmark::kMillisecond);

void BM_FromUtf8(benchmark::State& state) {
  const std::string& in = mixed10Utf8();
  for (auto _ : state) benchmark::DoNotOptimize(fromUtf8(in));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * in.size()));
}
BENCHMARK(BM_FromUtf8)->Unit(benchmark::kMillisecond);

// Baseline: one whole-buffer iconv call into an output buffer of the largest possible size.
void iconvOnce(benchmark::State& state, const char* to, const char* from, const std::string& in,
               size_t growth) {
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) {
    state.SkipWithError("iconv_open failed");
    return;
  }
  for (auto _ : state) {
    std::string out(in.size() * growth + 16, '\0');
    char* ip = const_cast<char*>(in.data());
    size_t il = in.size();
    char* op = out.data();
    size_t ol = out.size();
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    iconv(cd, &ip, &il, &op, &ol);
    out.resize(out.size() - ol);
    benchmark::DoNotOptimize(out.data());
  }
  iconv_close(cd);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * in.size()));
}
void BM_IconvBaselineToUtf8(benchmark::State& state) { iconvOnce(state, "UTF-8", "CP936", mixed10(), 3); }
BENCHMARK(BM_IconvBaselineToUtf8)->Unit(benchmark::kMillisecond);
void BM_IconvBaselineFromUtf8(benchmark::State& state) {
  iconvOnce(state, "CP936", "UTF-8", mixed10Utf8(), 1);
}
BENCHMARK(BM_IconvBaselineFromUtf8)->Unit(benchmark::kMillisecond);

const std::string& pipedText(int mb) {
  static std::map<int, std::string> texts;
  auto& t = texts[mb];
  if (t.empty()) {
    const std::string line = mixedText(60);
    const size_t size = static_cast<size_t>(mb) << 20;
    while (t.size() < size) t += line + "||";
  }
  return t;
}

void BM_Replace(benchmark::State& state) {
  const std::string& in = pipedText(static_cast<int>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(replace(in, "||", "\r\n", true));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * in.size()));
}
BENCHMARK(BM_Replace)->Arg(1)->Arg(10)->Arg(40)->Unit(benchmark::kMillisecond);

void BM_SplitNonEmpty(benchmark::State& state) {
  const std::string& in = pipedText(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    TextList out;  // a fresh list per call, as the program's callers use it
    benchmark::DoNotOptimize(splitNonEmpty(in, "|", 0, out));
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * in.size()));
}
BENCHMARK(BM_SplitNonEmpty)->Arg(1)->Arg(10)->Arg(40)->Unit(benchmark::kMillisecond);

// Prints each run as usual and keeps its time per iteration for the ratios at the end.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    // With repetitions the median stands for the benchmark; a single run stands for itself.
    // CPU time: the ratios should not move with the load other processes put on the machine.
    for (const auto& r : runs) {
      const std::string name = r.run_name.str();
      if (r.run_type == Run::RT_Aggregate && r.aggregate_name == "median") {
        m_times[name] = r.GetAdjustedCPUTime();
        m_fromMedian.insert(name);
      } else if (r.run_type == Run::RT_Iteration && r.iterations > 0 && !m_fromMedian.count(name)) {
        m_times[name] = r.GetAdjustedCPUTime();
      }
    }
    ConsoleReporter::ReportRuns(runs);
  }

  void printRatios() const {
    std::printf("\nRatios (time / time):\n");
    ratio("extractBetween 10 MB / 1 MB (linear: <= 12)", "BM_ExtractBetween/10", "BM_ExtractBetween/1", 12);
    ratio("extractBetween / hand scan, 1 MB (<= 3)", "BM_ExtractBetween/1", "BM_HandScanBaseline/1", 3);
    ratio("extractBetween / hand scan, 10 MB (<= 3)", "BM_ExtractBetween/10", "BM_HandScanBaseline/10", 3);
    ratio("toUtf8 / one iconv call, 10 MB (<= 2)", "BM_ToUtf8", "BM_IconvBaselineToUtf8", 2);
    ratio("fromUtf8 / one iconv call, 10 MB (<= 2)", "BM_FromUtf8", "BM_IconvBaselineFromUtf8", 2);
    // 1 MB of input and output stays in the processor's cache and 10 MB does not, so that
    // step also shows the cache; linearity is judged where both sizes are beyond it.
    ratio("replace 10 MB / 1 MB (cache, for information)", "BM_Replace/10", "BM_Replace/1", 0);
    ratio("replace 40 MB / 10 MB (linear: <= 4.8)", "BM_Replace/40", "BM_Replace/10", 4.8);
    ratio("splitNonEmpty 10 MB / 1 MB (cache, for info.)", "BM_SplitNonEmpty/10", "BM_SplitNonEmpty/1", 0);
    ratio("splitNonEmpty 40 MB / 10 MB (linear: <= 4.8)", "BM_SplitNonEmpty/40", "BM_SplitNonEmpty/10", 4.8);
  }

 private:
  void ratio(const char* label, const std::string& a, const std::string& b, double limit) const {
    auto ia = m_times.find(a);
    auto ib = m_times.find(b);
    if (ia == m_times.end() || ib == m_times.end() || ib->second <= 0) return;
    const double r = ia->second / ib->second;
    std::printf("  %-48s %7.2f  %s\n", label, r, limit <= 0 ? "" : r <= limit ? "ok" : "OVER");
  }

  std::map<std::string, double> m_times;
  std::set<std::string> m_fromMedian;
};

}  // namespace

int main(int argc, char** argv) {
  // Keep freed memory in the process: otherwise every iteration pays the kernel again for
  // fresh pages, which on a virtual machine costs more than the work being measured.
  mallopt(M_MMAP_THRESHOLD, 512 << 20);
  mallopt(M_TRIM_THRESHOLD, 1 << 30);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.printRatios();
  benchmark::Shutdown();
  return 0;
}
