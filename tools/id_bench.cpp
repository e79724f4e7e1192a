// The identification bench: draws star lists from the catalogue (see tools/idbench/idbench.h), runs them
// through the program's identification in blind and known-centre mode and prints the success table.
//
// orvia_id_bench --catalog bin8.dat --work DIR [--seed N] [--lists PER_CELL] [--random N]
//   [--mode blind|known|both] [--solver program|matcher|patterns] [--fields 5,10,...] [--verbose] [--variants
//   clean,noisy,...] [--min-marks N] [--max-marks N] [--case N] [--agreement]
//
// --agreement runs every list with a known centre through the triangle matcher alone and through the
// program, and where the matcher's answer is right counts the lists on which the program's identities
// differ from it and the largest distance between the two plates over the frame.
//
// DIR receives the asterism file and the pattern index (built when missing) and, through the
// identification's diagnostics sink, "hyp_id.txt" of the last list run.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "astrometry/asterism.h"
#include "astrometry/pattern_index.h"
#include "astrometry/verify.h"
#include "idbench/idbench.h"

namespace {

std::vector<std::string> Split(const std::string& text) {
  std::vector<std::string> out;
  std::stringstream in(text);
  std::string item;
  while (std::getline(in, item, ',')) {
    if (!item.empty()) out.push_back(item);
  }
  return out;
}

struct Tally {
  int lists = 0;
  int success = 0;
  int wrong = 0;
  int byPatterns = 0;
  std::vector<double> times;  // of successes, seconds
  void Add(const BenchOutcome& o) {
    ++lists;
    if (o.success) {
      ++success;
      times.push_back(o.seconds);
    }
    if (o.wrong) ++wrong;
    if (o.byPatterns && o.success) ++byPatterns;
  }
  std::string Text() const {
    if (lists == 0) return "-";
    char buf[96];
    std::snprintf(buf, sizeof buf, "%5.1f %% (%d/%d, %d wrong)", 100.0 * success / lists, success, lists, wrong);
    return buf;
  }
};

double Median(std::vector<double> v) {
  if (v.empty()) return 0.0;
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  std::string catalog, work, mode = "both", solverName = "program";
  BenchPlan plan;
  bool verbose = false;
  bool agreement = false;  // compare the program's known-centre answers with the matcher's alone
  int onlyCase = -1;  // run only the list with this number (0-based, in drawing order)
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    const std::string v = i + 1 < argc ? argv[i + 1] : "";
    if (a == "--catalog")
      catalog = v, ++i;
    else if (a == "--work")
      work = v, ++i;
    else if (a == "--seed")
      plan.seed = static_cast<std::uint32_t>(std::strtoul(v.c_str(), nullptr, 10)), ++i;
    else if (a == "--lists")
      plan.listsPerCell = std::atoi(v.c_str()), ++i;
    else if (a == "--random")
      plan.randomLists = std::atoi(v.c_str()), ++i;
    else if (a == "--mode")
      mode = v, ++i;
    else if (a == "--min-marks")
      plan.minMarks = std::atoi(v.c_str()), ++i;
    else if (a == "--max-marks")
      plan.maxMarks = std::atoi(v.c_str()), ++i;
    else if (a == "--case")
      onlyCase = std::atoi(v.c_str()), ++i;
    else if (a == "--verbose")
      verbose = true;
    else if (a == "--agreement")
      agreement = true;
    else if (a == "--solver")
      solverName = v, ++i;
    else if (a == "--variants")
      plan.variants = Split(v), ++i;
    else if (a == "--fields") {
      plan.fieldsDeg.clear();
      for (const std::string& f : Split(v)) plan.fieldsDeg.push_back(std::atof(f.c_str()));
      ++i;
    } else {
      std::fprintf(stderr, "unknown argument %s\n", a.c_str());
      return 2;
    }
  }
  if (catalog.empty() || work.empty()) {
    std::fprintf(stderr, "usage: orvia_id_bench --catalog bin8.dat --work DIR [options]\n");
    return 2;
  }
  std::filesystem::create_directories(work);
  BenchFiles files;
  files.catalogPath = catalog;
  files.asterismPath = (std::filesystem::path(work) / "tri4t.dat").string();
  files.workDir = (std::filesystem::path(work) / "").string();
  files.diagnostics = DiagnosticFilesIn(files.workDir);
  SilentTask task;
  if (!std::filesystem::exists(files.asterismPath)) {
    const auto t0 = std::chrono::steady_clock::now();
    BuildAsterismFile(catalog, files.asterismPath, task);
    std::printf("asterism file built in %.2f s\n",
                std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
  }
  const std::string indexPath = PatternIndexPathBeside(files.asterismPath);
  if (!std::filesystem::exists(indexPath)) {
    const auto t0 = std::chrono::steady_clock::now();
    BuildPatternIndexFile(catalog, indexPath, task);
    std::printf("pattern index built in %.2f s\n",
                std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
  }
  {
    const auto t0 = std::chrono::steady_clock::now();
    const auto index = CachedPatternIndex(indexPath);
    const double load = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    std::size_t entries = 0;
    if (index) {
      for (const PatternBand& b : index->bands) entries += b.entries.size();
    }
    std::printf("pattern index: %zu triangles, %.1f MB, loaded in %.1f ms\n", entries,
                std::filesystem::file_size(indexPath) / 1e6, load * 1e3);
    const auto t1 = std::chrono::steady_clock::now();
    CachedSkyCatalogue(catalog);
    std::printf("catalogue grid built in %.1f ms\n",
                std::chrono::duration<double>(std::chrono::steady_clock::now() - t1).count() * 1e3);
  }
  std::vector<CatalogueRecord> records;
  if (!ReadCatalogueRecords(catalog, records)) {
    std::fprintf(stderr, "cannot read %s\n", catalog.c_str());
    return 1;
  }
  const std::vector<BenchCase> cases = DrawBenchCases(records, plan);
  const BenchSolver solver = solverName == "matcher"    ? BenchSolver::MatcherOnly
                             : solverName == "patterns" ? BenchSolver::PatternsOnly
                                                        : BenchSolver::Program;
  if (agreement) {
    int right = 0, differ = 0, programFailed = 0;
    double worstPx = 0.0;
    for (std::size_t number = 0; number < cases.size(); ++number) {
      const BenchCase& c = cases[number];
      if (c.variant == "random" || (onlyCase >= 0 && static_cast<int>(number) != onlyCase)) continue;
      const BenchAnswers a = RunBothWays(c, files);
      if (!a.matcherRight) continue;
      ++right;
      if (!a.programSolved) {
        ++programFailed;
        continue;
      }
      if (!a.sameIdentities) {
        ++differ;
        if (verbose) std::printf("list %zu: identities differ\n", number);
      }
      worstPx = std::max(worstPx, a.plateDifferencePx);
      if (verbose) std::printf("list %zu %s %g° %zu marks: plates %.3f px apart\n", number, c.variant.c_str(), c.fieldDeg, c.marks.size(), a.plateDifferencePx);
    }
    std::printf("matcher right on %d lists; program: %d failed, %d with other identities, plates within %.3f px\n",
                right, programFailed, differ, worstPx);
    return 0;
  }
  std::vector<bool> modes;
  if (mode != "known") modes.push_back(false);
  if (mode != "blind") modes.push_back(true);

  for (bool known : modes) {
    std::map<double, Tally> byField;
    std::map<std::string, Tally> byVariant;
    Tally few, many, randomMarks, all;
    for (std::size_t number = 0; number < cases.size(); ++number) {
      const BenchCase& c = cases[number];
      if (onlyCase >= 0 && static_cast<int>(number) != onlyCase) continue;
      const BenchOutcome o = RunBenchCase(c, known, solver, files);
      if (verbose) {
        std::printf("%s %g° %zu marks: %s%s, %d identified%s %.0f ms\n", c.variant.c_str(), c.fieldDeg,
                    c.marks.size(), o.success ? "ok" : "failed", o.wrong ? " WRONG" : "", o.identified,
                    o.byPatterns ? " by patterns" : "", o.seconds * 1e3);
        std::fflush(stdout);
      }
      if (c.variant == "random") {
        randomMarks.Add(o);
        continue;
      }
      byField[c.fieldDeg].Add(o);
      byVariant[c.variant].Add(o);
      (c.marks.size() - (c.variant == "spurious" || c.variant == "planet" ? 1 : 0) <= 5 ? few : many).Add(o);
      all.Add(o);
    }
    std::printf("\n%s, solver %s, seed %u\n", known ? "known centre" : "blind", solverName.c_str(), plan.seed);
    std::printf("| field | success |\n|---|---|\n");
    for (const auto& [field, t] : byField) std::printf("| %g° | %s |\n", field, t.Text().c_str());
    for (const auto& [variant, t] : byVariant) std::printf("| %s | %s |\n", variant.c_str(), t.Text().c_str());
    std::printf("| 4-5 marks | %s |\n| 6+ marks | %s |\n| all | %s |\n", few.Text().c_str(), many.Text().c_str(),
                all.Text().c_str());
    if (randomMarks.lists > 0) {
      std::printf("| random marks | %d of %d accepted |\n", randomMarks.wrong, randomMarks.lists);
    }
    std::printf("median processor time of a success %.1f ms; pattern solver answered %d of %d successes\n",
                Median(all.times) * 1e3, all.byPatterns, all.success);
  }
  return 0;
}
