#include "apps/vesk-beat/command_line/OutputPaths.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "apps/vesk-beat/command_line/UsageError.h"
#include "tracking/process/WorkingDirectory.h"

namespace vesk_beat {

using namespace vesk_tracking;

namespace fs = std::filesystem;

namespace {

constexpr int kMostSymlinks = 40;  // as the kernel allows in one path

const char* kindOf(mode_t mode) {
  if (S_ISCHR(mode)) return "a character device";
  if (S_ISBLK(mode)) return "a block device";
  if (S_ISFIFO(mode)) return "a FIFO";
  if (S_ISSOCK(mode)) return "a socket";
  return "not a regular file";
}

std::string inQuotes(const std::string& text) {
  return "'" + text + "'";
}

// The identity of a file: its device and inode when it exists, else its path
// with every symlink of its folders resolved.
std::string identity(const struct stat& st) {
  return "inode " + std::to_string(st.st_dev) + ":" + std::to_string(st.st_ino);
}

std::string identityOf(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) == 0) return identity(st);
  std::error_code e;
  const fs::path p = fs::weakly_canonical(path, e);
  return "path " + (e ? path : p.string());
}

}  // namespace

std::string expandPattern(const std::string& pattern, const std::string& input) {
  const std::string stem = input == "-" ? "stdin" : fs::path(input).stem().string();
  std::string out;
  std::size_t from = 0;
  for (std::size_t at; (at = pattern.find("{}", from)) != std::string::npos; from = at + 2)
    out.append(pattern, from, at - from).append(stem);
  return out.append(pattern, from, std::string::npos);
}

std::string resolveOutputPath(const std::string& option, const std::string& path) {
  if (path == "-")
    throw UsageError(option +
                     ": '-' is not a file here (standard output already carries the beats; "
                     "write ./- for a file named '-')");
  const std::string given = absolutePath(path);
  std::string target = given;
  for (int links = 0;; ++links) {
    struct stat st {};
    if (::lstat(target.c_str(), &st) != 0) {
      if (errno == ENOENT) break;  // created by the run
      throw UsageError(option + ": cannot use " + inQuotes(path) + ": " + std::strerror(errno));
    }
    if (S_ISLNK(st.st_mode)) {
      // Write the file the link points to, and keep the link.
      std::error_code e;
      const fs::path to = fs::read_symlink(target, e);
      if (e || links >= kMostSymlinks)
        throw UsageError(option + ": cannot follow the link " + inQuotes(path) + ": " +
                         (e ? e.message() : std::string("too many levels of symbolic links")));
      target =
          (to.is_absolute() ? to : fs::path(target).parent_path() / to).lexically_normal().string();
      continue;
    }
    if (S_ISDIR(st.st_mode)) throw UsageError(option + ": " + inQuotes(path) + " is a directory");
    if (!S_ISREG(st.st_mode))
      throw UsageError(option + ": " + inQuotes(path) + " is " + kindOf(st.st_mode) +
                       ", not a regular file (outputs are written to a file beside it and "
                       "renamed over it)");
    break;
  }
  const fs::path dir = fs::path(target).parent_path();
  std::string shownDir = dir.string();
  if (target == given) {
    shownDir = fs::path(path).parent_path().string();
    if (shownDir.empty()) shownDir = ".";
  }
  std::error_code e;
  if (!fs::is_directory(dir, e))
    throw UsageError(option + ": the directory " + inQuotes(shownDir) + " does not exist");
  if (::access(dir.c_str(), W_OK) != 0)
    throw UsageError(option + ": cannot write into " + inQuotes(shownDir));
  return target;
}

void FileClaims::input(const std::string& name, const std::string& path) {
  struct stat st {};
  if (path == "-") {
    // Standard input redirected from a file must not be overwritten either.
    if (::fstat(0, &st) == 0 && S_ISREG(st.st_mode))
      claims.emplace(identity(st), Claim{"standard input", true});
    return;
  }
  if (::stat(path.c_str(), &st) == 0)
    claims.emplace(identity(st), Claim{"the input " + inQuotes(name), true});
}

void FileClaims::output(const std::string& option, const std::string& input,
                        const std::string& shown, const std::string& resolved) {
  const std::string owner =
      "the " + option + " file" + (input.empty() ? std::string() : " of " + inQuotes(input));
  const auto [at, fresh] = claims.emplace(identityOf(resolved), Claim{owner, false});
  if (!fresh)
    throw UsageError(option + ": " + inQuotes(shown) + " is also " + at->second.owner +
                     (at->second.input ? "; an input is never overwritten"
                                       : "; every output needs a file of its own"));
}

}  // namespace vesk_beat
