// The built library run by the Vamp SDK's host program, vamp-simple-host
// (Debian vamp-examples), dropped into a folder of its own as a user installs
// it (the library, its category and RDF files, nothing else); its beats
// against vesk-beat's on the same files.
#include <gtest/gtest.h>
#include <sndfile.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>

#include "tests/app/TestAudio.h"
#include "tracking/process/WorkingDirectory.h"

namespace {

const char* const kHost = "/usr/bin/vamp-simple-host";
const char* const kOutputs[] = {"beats", "all_beats", "tempo", "confidence",
                                "onset", "stpm",      "chroma"};

struct Ran {
  int exitCode = -1;
  std::string out;
  std::string err;  // of the host, for failure messages
};

std::string readText(const std::string& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// Runs a shell command and captures its standard output.
Ran shell(const std::string& command) {
  Ran r;
  FILE* pipe = ::popen(command.c_str(), "r");
  if (!pipe) return r;
  char buffer[65536];
  for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
    r.out.append(buffer, n);
  const int status = ::pclose(pipe);
  r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return r;
}

// The three files a user copies into ~/vamp, copied into a folder holding
// nothing else: the library must find nothing of the build tree.
const std::string& dropInFolder() {
  static const vesk_tracking::TemporaryDirectory folder("vesk-vamp");
  static const bool copied = [] {
    for (const char* file : {"vesk-music.so", "vesk-music.cat", "vesk-music.n3"})
      std::filesystem::copy_file(std::string(VESK_VAMP_FOLDER) + "/" + file,
                                 folder.path() + "/" + file);
    return true;
  }();
  (void)copied;
  return folder.path();
}

// vamp-simple-host with the plug-in of this build and nothing else. A
// sanitised plug-in needs its run-time library loaded before the host.
Ran host(const std::string& args) {
  char errors[] = "/tmp/vamp-host-err-XXXXXX";
  ::close(::mkstemp(errors));
  Ran r = shell("env VAMP_PATH=" + dropInFolder() + " " + VESK_HOST_ENV + " " + kHost + " " + args +
                " 2>" + errors);
  r.err = readText(errors);
  ::unlink(errors);
  return r;
}

std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);)
    if (!line.empty()) out.push_back(line);
  return out;
}

// The beat times of the host's "beats" output ("  2.412000000: 117.6 bpm")
// as vesk-beat --beats prints them.
std::vector<std::string> hostBeats(const std::string& file) {
  const Ran r = host("vesk-music:beattracker:beats " + file);
  EXPECT_EQ(r.exitCode, 0) << r.err;
  std::vector<std::string> out;
  for (const std::string& line : lines(r.out)) {
    char text[32];
    std::snprintf(text, sizeof text, "%.6f", std::strtod(line.c_str(), nullptr));
    out.push_back(text);
  }
  return out;
}

std::vector<std::string> toolBeats(const std::string& file, const std::string& folder) {
  const std::string beats = folder + "/beats.txt";
  EXPECT_EQ(shell(std::string(VESK_BEAT_PROGRAM) + " -q --beats " + beats + " " + file +
                  " > /dev/null 2>&1")
                .exitCode,
            0);
  return lines(readText(beats));
}

class SimpleHost : public ::testing::Test {
 protected:
  void SetUp() override {
    if (::access(kHost, X_OK) != 0)
      GTEST_SKIP() << kHost
                   << " is missing: install Debian's vamp-examples (scripts/install-deps.sh)";
  }
  vesk_tracking::TemporaryDirectory folder;
};

}  // namespace

TEST_F(SimpleHost, ListsThePluginAndItsOutputs) {
  EXPECT_EQ(lines(host("--list-ids").out), std::vector<std::string>{"vamp:vesk-music:beattracker"});
  std::vector<std::string> expected;
  for (const char* output : kOutputs)
    expected.push_back(std::string("vamp:vesk-music:beattracker:") + output);
  EXPECT_EQ(lines(host("--list-outputs").out), expected);
  // Categories and RDF come from the files beside the library.
  EXPECT_NE(host("--list-by-category").out.find("Time|Tempo|vesk-music:beattracker:"),
            std::string::npos);
  const std::string rdf = readText(dropInFolder() + "/vesk-music.n3");
  for (const char* output : kOutputs)
    EXPECT_TRUE(
        std::regex_search(rdf, std::regex(std::string("vamp:identifier +\"") + output + "\"")))
        << output;
}

TEST_F(SimpleHost, TheLibraryNeedsNothingOfThisProjectBesideIt) {
  const Ran r = shell("readelf -d " + dropInFolder() + "/vesk-music.so");
  ASSERT_EQ(r.exitCode, 0);
  EXPECT_NE(r.out.find("libsndfile"), std::string::npos) << r.out;
  for (const char* library : {"libvesk-music", "librill-core", "RPATH", "RUNPATH"})
    EXPECT_EQ(r.out.find(library), std::string::npos) << library << " in:\n" << r.out;
}

TEST_F(SimpleHost, EveryOutputRunsOnTheDemoClip) {
  // 24.12 s: about 2412 frames, 40 reliable beats (README).
  for (const char* output : kOutputs) {
    const Ran r = host(std::string("vesk-music:beattracker:") + output + " " + VESK_DEMO_CLIP);
    EXPECT_EQ(r.exitCode, 0) << output << ": " << r.err;
    const std::size_t count = lines(r.out).size();
    if (std::string(output) == "beats" || std::string(output) == "tempo")
      EXPECT_NEAR(static_cast<double>(count), 40.0, 3.0) << output;
    else if (std::string(output) != "all_beats")
      EXPECT_NEAR(static_cast<double>(count), 2412.0, 3.0) << output;
    else
      EXPECT_GE(count, 40u);
  }
}

TEST_F(SimpleHost, BeatsAreVeskBeatsOnTheSameFiles) {
  const std::string stereo = folder.path() + "/clicks-44100-stereo.wav";
  const std::string mono = folder.path() + "/clicks-16000-mono.flac";
  writeClickTrack(stereo, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100, 2, 126.0, 0.3, 15.0);
  writeClickTrack(mono, SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 16000, 1, 94.0, 0.7, 15.0);
  for (const std::string& file : {std::string(VESK_DEMO_CLIP), stereo, mono}) {
    const std::vector<std::string> expected = toolBeats(file, folder.path());
    EXPECT_GT(expected.size(), 15u) << file;
    EXPECT_EQ(hostBeats(file), expected) << file;
  }
}
