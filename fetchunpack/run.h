// The run of fetchunpack: the command line in, the transcript out, the exit status back.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace fetchunpack {

// How a run of either mode ended. Every outcome but Done has printed its error line.
enum class RunOutcome {
  Done,
  IllegalUrl,          // no "/" in the URL, or no file name after the last one
  PathTooLong,         // the saved file's path does not fit the platform
  DownloadFailed,      // "** Error: Inet"
  ExtractionFailed,    // an archive or member error
  ListNotFound,        // the URL list cannot be read
  ListNotRegularFile,  // the URL list is a device, pipe or socket
  ListTooLarge,        // the URL list is larger than kMaxUrlListSize
};

// Largest URL list read: the list is read whole to detect its encoding.
constexpr std::size_t kMaxUrlListSize = std::size_t{64} * 1024 * 1024;

// Whether the first argument is a URL (it begins "http:" or "https:", case-sensitively) rather
// than the path of a URL list.
bool isUrlArgument(const std::string& argument);

// Single-URL mode: `args` holds the URL, then optionally the output folder ("." for the current
// one) and the member names.
RunOutcome runSingleUrl(const std::vector<std::string>& args);

// List mode: every URL line of the list file, saved into `outputFolder` when it is given and
// not empty; the first failure ends the list.
RunOutcome runUrlList(const std::string& listPath, const std::optional<std::string>& outputFolder);

const char* usageText();

// The whole program for the arguments after its name; returns the exit status: 0 after a
// successful run, 1 after a failure (once the pause for a key is over).
int runFetchUnpack(const std::vector<std::string>& args);

}  // namespace fetchunpack
