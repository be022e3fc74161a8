#include "fetchunpack/run.h"

#include <cstdint>
#include <cstdio>

#include "fetchunpack/download.h"
#include "fetchunpack/extract.h"
#include "fetchunpack/urllist.h"
#include "platform/console.h"
#include "platform/filenames.h"
#include "platform/files.h"
#include "platform/textconv.h"

namespace fetchunpack {

namespace {

// Text as the console takes it: names and URLs are held as UTF-8.
std::string shown(const std::string& text) { return platform::utf8ToNative(text); }

// The cause of a failure goes to standard error, after the transcript written so far.
void reportCause(const std::string& cause) {
  std::fflush(stdout);
  if (!cause.empty()) std::fprintf(stderr, "fetchunpack: %s\n", shown(cause).c_str());
}

// Downloads one URL and extracts its members, printing the transcript line.
RunOutcome processJob(const UrlJob& job) {
  if (!job.hasSavedFileName || !platform::isPlainFileName(job.savedFileName)) {
    std::printf("** Error: Illegal URL %s\n", shown(job.url).c_str());
    return RunOutcome::IllegalUrl;
  }
  if (job.archivePath.size() > platform::kMaxPathLength) {
    std::printf("** Error: Path too long %s\n", shown(job.archivePath).c_str());
    return RunOutcome::PathTooLong;
  }
  std::printf("%s %s", shown(job.url).c_str(), shown(job.archivePath).c_str());
  std::fflush(stdout);
  std::string cause;
  // Members follow: the download is an archive, and one that libzip cannot open never replaces
  // an older file of its name.
  BodyCheck archiveCheck;
  archiveCheck.judge = [&job](const std::string& temporaryPath, std::string& why) {
    const int error = checkArchive(temporaryPath, job.archivePath, why);
    if (error != 0) why += "; the older file is kept";
    return error;
  };
  const std::int64_t result = downloadToFile(job.url, job.archivePath, cause,
                                             job.memberNames.empty() ? nullptr : &archiveCheck);
  if (result == kDownloadRefused) {
    // The transcript reads as when the first member could not be taken from the archive.
    std::printf(" %s** Error: ZIP error code %d\n", shown(job.memberNames.front()).c_str(),
                archiveCheck.refusal);
    reportCause(cause);
    return RunOutcome::ExtractionFailed;
  }
  if (result < 0) {
    std::fputs("** Error: Inet\n", stdout);
    reportCause(cause);
    return RunOutcome::DownloadFailed;
  }
  for (const std::string& member : job.memberNames) {
    std::printf(" %s", shown(member).c_str());
    const int result = extractMember(job.archivePath, member, cause);
    if (result != 0) {
      std::printf("** Error: ZIP error code %d\n", result);
      reportCause(cause);
      return RunOutcome::ExtractionFailed;
    }
  }
  std::fputs("\n", stdout);
  return RunOutcome::Done;
}

using platform::failurePath;

}  // namespace

bool isUrlArgument(const std::string& argument) {
  return argument.starts_with("http:") || argument.starts_with("https:");
}

RunOutcome runSingleUrl(const std::vector<std::string>& args) {
  const std::string& url = args.at(0);
  // The saved file takes the name after the last "/"; without one, or with one that cannot be
  // a plain file (a stream colon or a device name on Windows), there is no file to write.
  const auto slash = url.rfind('/');
  if (slash == std::string::npos || slash + 1 == url.size() ||
      !platform::isPlainFileName(std::string_view(url).substr(slash + 1))) {
    std::printf("** Error: Illegal URL %s\n", shown(url).c_str());
    return RunOutcome::IllegalUrl;
  }
  UrlJob job;
  job.url = url;
  job.savedFileName = url.substr(slash + 1);
  const std::string& savedFileName = job.savedFileName;
  // An empty folder argument means the current folder, like ".", rather than the root.
  if (args.size() > 1 && args[1] != "." && !args[1].empty()) {
    platform::makeDirectoryUtf8(args[1]);
    job.archivePath = args[1] + platform::kPathSeparator + savedFileName;
  } else {
    job.archivePath = savedFileName;
  }
  if (args.size() > 2) job.memberNames.assign(args.begin() + 2, args.end());

  return processJob(job);
}

RunOutcome runUrlList(const std::string& listPath, const std::optional<std::string>& outputFolder) {
  std::string content;
  // A folder counts as a file that cannot be read; devices, pipes and sockets are refused
  // before anything is read.
  switch (platform::readWholeFileUtf8(listPath, content, kMaxUrlListSize)) {
    case platform::FileRead::Read:
      break;
    case platform::FileRead::NotFound:
      std::printf("** Error: Not found Download URL List file \"%s\"", shown(listPath).c_str());
      return RunOutcome::ListNotFound;
    case platform::FileRead::NotRegularFile:
      std::printf("** Error: URL list file \"%s\" is not a regular file.\n",
                  shown(listPath).c_str());
      return RunOutcome::ListNotRegularFile;
    case platform::FileRead::TooLarge:
      std::printf("** Error: URL list file \"%s\" is larger than 64 MiB.\n",
                  shown(listPath).c_str());
      return RunOutcome::ListTooLarge;
  }

  UrlListState state;
  const std::string text = prepareListText(content, state);
  std::string().swap(content);
  if (outputFolder && !outputFolder->empty()) {
    platform::makeDirectoryUtf8(*outputFolder);
    state.outputPrefix = *outputFolder + platform::kPathSeparator;
  }
  for (const std::string& line : splitListLines(text)) {
    const std::optional<UrlJob> job = readListLine(state, line);
    if (!job) continue;
    const RunOutcome outcome = processJob(*job);
    if (outcome != RunOutcome::Done) return outcome;
  }
  return RunOutcome::Done;
}

const char* usageText() {
  return "Usage:\n"
         "  fetchunpack URL [FOLDER [MEMBER...]]\n"
         "      download URL (http: or https:) into FOLDER (\".\" or none: the current folder)\n"
         "      and extract each MEMBER of the downloaded zip archive next to it\n"
         "  fetchunpack LIST [FOLDER]\n"
         "      the same for every URL line of the URL list file LIST\n"
         "  fetchunpack --help | --version\n"
         "URL list lines: \"#\" or \"//\" at the start: a comment; ending in \"/\": the base of "
         "the\n"
         "relative URLs that follow; otherwise: URL [MEMBER...], where %N in a MEMBER stands\n"
         "for the first N characters of the saved file name and the character after N is dropped.\n"
         "Exit status: 0 done, 1 error.\n";
}

int runFetchUnpack(const std::vector<std::string>& args) {
  if (!args.empty() && (args[0] == "-h" || args[0] == "--help")) {
    std::fputs(usageText(), stdout);
    return 0;
  }
  if (!args.empty() && args[0] == "--version") {
    std::printf("fetchunpack %s\n", W05_VERSION);
    return 0;
  }
  std::fputs("**** Download and Unzip ****\n", stdout);
  if (args.empty()) {
    std::fputs("** Error: URL List file does not specified.\n", stdout);
    std::fputs(usageText(), stdout);
    return failurePath();
  }
  const RunOutcome outcome =
      isUrlArgument(args[0])
          ? runSingleUrl(args)
          : runUrlList(args[0], args.size() > 1 ? std::optional(args[1]) : std::nullopt);
  return outcome == RunOutcome::Done ? 0 : failurePath();
}

}  // namespace fetchunpack
