// The run of fetchunpack: the command line in, the transcript out, the exit status back.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace fetchunpack {

// Results of runSingleUrl.
constexpr int kSingleUrlNoSlash = 1;
constexpr int kSingleUrlNoFileName = 2;
constexpr int kSingleUrlDownloadFailed = 3;
constexpr int kSingleUrlExtractionFailed = 4;
constexpr int kSingleUrlPathTooLong = 5;

// Results of runUrlList.
constexpr int kUrlListNotFound = 1;
constexpr int kUrlListDownloadFailed = 2;
constexpr int kUrlListExtractionFailed = 3;
constexpr int kUrlListIllegalUrl = 4;
constexpr int kUrlListPathTooLong = 5;
constexpr int kUrlListNotRegularFile = 6;
constexpr int kUrlListTooLarge = 7;

// Largest URL list read: the list is read whole to detect its encoding.
constexpr std::size_t kMaxUrlListSize = std::size_t{64} * 1024 * 1024;

// Whether the first argument is a URL (it begins "http:" or "https:", case-sensitively) rather
// than the path of a URL list.
bool isUrlArgument(const std::string& argument);

// Single-URL mode: `args` holds the URL, then optionally the output folder ("." for the current
// one) and the member names. Returns 0 or one of the results above.
int runSingleUrl(const std::vector<std::string>& args);

// List mode: every URL line of the list file, saved into `outputFolder` when it is given and
// not empty. Returns 0 or one of the results above.
int runUrlList(const std::string& listPath, const std::optional<std::string>& outputFolder);

const char* usageText();

// The whole program for the arguments after its name; returns the exit status: 0 after a
// successful run, 1 after a failure (once the pause for a key is over).
int runFetchUnpack(const std::vector<std::string>& args);

}  // namespace fetchunpack
