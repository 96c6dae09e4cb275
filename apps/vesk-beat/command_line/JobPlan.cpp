#include "apps/vesk-beat/command_line/JobPlan.h"

#include <unistd.h>

#include <filesystem>
#include <set>
#include <system_error>
#include <utility>

#include "apps/vesk-beat/command_line/OutputPaths.h"
#include "apps/vesk-beat/command_line/ReferenceBeats.h"
#include "tracking/process/WorkingDirectory.h"

namespace vesk_beat {

using namespace vesk_tracking;

namespace fs = std::filesystem;

namespace {

// The log folder must be a folder this run can write into, or be creatable:
// its nearest existing ancestor a writable folder.
void checkLogDir(const std::string& dir) {
  fs::path p = dir;
  std::error_code e;
  while (!fs::exists(p, e) && p.has_parent_path() && p != p.parent_path()) p = p.parent_path();
  if (!fs::is_directory(p, e))
    throw UsageError("--log-dir: '" + p.string() + "' is not a directory");
  if (::access(p.c_str(), W_OK | X_OK) != 0)
    throw UsageError("--log-dir: cannot write into '" + p.string() + "'");
}

// One log folder per input, named after it; inputs of one name in different
// folders get "-2", "-3", ... in the order given.
std::vector<std::string> logFolderNames(const std::vector<std::string>& inputs) {
  std::set<std::string> taken;
  std::vector<std::string> names;
  for (const std::string& input : inputs) {
    const std::string stem = expandPattern("{}", input);
    std::string name = stem;
    for (int k = 2; !taken.insert(name).second; ++k) name = stem + "-" + std::to_string(k);
    names.push_back(name);
  }
  return names;
}

// Whether `path` names a bt_*.dat file directly in `dir` (both resolved).
bool isTrackerLogFile(const std::string& dir, const std::string& path) {
  if (path.empty()) return false;
  std::error_code e;
  const fs::path file = fs::weakly_canonical(path, e);
  const fs::path folder = fs::weakly_canonical(dir, e);
  const std::string name = file.filename().string();
  return file.parent_path() == folder && name.rfind("bt_", 0) == 0 && name.size() > 7 &&
         name.compare(name.size() - 4, 4, ".dat") == 0;
}

}  // namespace

RunPlan planRun(const Options& o) {
  RunPlan plan;
  FileClaims claims;
  for (const std::string& input : o.inputs)
    claims.input(input, input == "-" ? input : absolutePath(input));

  if (!o.logDir.empty()) {
    plan.logDir = absolutePath(o.logDir);
    checkLogDir(plan.logDir);
  }
  const bool several = o.inputs.size() > 1;
  const std::vector<std::string> logFolders = logFolderNames(o.inputs);
  for (std::size_t i = 0; i < o.inputs.size(); ++i) {
    const std::string& input = o.inputs[i];
    TrackJob job;
    job.name = input;
    job.input = input == "-" ? input : absolutePath(input);
    auto output = [&](const std::string& option, const std::string& pattern) {
      if (pattern.empty()) return pattern;
      const std::string shown = expandPattern(pattern, input);
      const std::string resolved = resolveOutputPath(option, shown);
      claims.output(option, input, shown, resolved);
      return resolved;
    };
    job.beatsPath = output("--beats", o.beatsPath);
    job.plotPath = output("--plot", o.plotPath);
    job.clicksPath = output("--clicks", o.clicksPath);
    if (!job.clicksPath.empty() && readsStream(job))
      throw UsageError("--clicks: '" + input +
                       "' is a stream, which cannot be read a second time: give a file");
    if (!o.referencePath.empty())
      job.reference = readReferenceBeats(expandPattern(o.referencePath, input));
    if (!plan.logDir.empty()) {
      // Several inputs would overwrite each other's files: one folder each.
      job.logDir = several ? plan.logDir + "/" + logFolders[i] : plan.logDir;
      std::error_code e;
      if (fs::exists(job.logDir, e) && !fs::is_directory(job.logDir, e))
        throw UsageError("--log-dir: '" + job.logDir + "' is not a directory");
    }
    plan.jobs.push_back(job);
  }
  if (o.device) {
    TrackJob job;
    job.name = o.device->label();
    job.device = o.device;
    job.beatsPath = o.beatsPath.empty() ? "" : resolveOutputPath("--beats", o.beatsPath);
    job.plotPath = o.plotPath.empty() ? "" : resolveOutputPath("--plot", o.plotPath);
    if (!job.beatsPath.empty()) claims.output("--beats", job.name, o.beatsPath, job.beatsPath);
    if (!job.plotPath.empty()) claims.output("--plot", job.name, o.plotPath, job.plotPath);
    job.logDir = plan.logDir;
    plan.jobs.push_back(job);
  }
  if (!o.outputPath.empty()) {
    plan.outputPath = resolveOutputPath("-o", o.outputPath);
    claims.output("-o", "", o.outputPath, plan.outputPath);
  }
  if (o.nodeOutput == NodeOutput::File) {
    plan.nodeOutputPath = resolveOutputPath("--node-output", o.nodeOutputPath);
    claims.output("--node-output", "", o.nodeOutputPath, plan.nodeOutputPath);
  }
  // The tracker writes its beat log and diagnostic files, all named bt_*.dat,
  // into each log folder: no input and no other output may be one of them.
  for (const TrackJob& job : plan.jobs) {
    if (job.logDir.empty()) continue;
    const std::vector<std::pair<std::string, std::string>> named = {
        {"the input", job.input},
        {"--beats", job.beatsPath},
        {"--plot", job.plotPath},
        {"--clicks", job.clicksPath},
        {"--node-output", plan.nodeOutputPath},
        {"-o", plan.outputPath}};
    for (const auto& [what, path] : named)
      if (path != "-" && isTrackerLogFile(job.logDir, path))
        throw UsageError("--log-dir: " + what + " '" + path +
                         "' is a file the tracker writes there (bt_*.dat); choose another name");
  }
  return plan;
}

}  // namespace vesk_beat
