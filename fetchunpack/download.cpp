#include "fetchunpack/download.h"

#include <strings.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "fetchunpack/transfer.h"
#include "platform/atomicfile.h"
#include "platform/console.h"
#include "platform/files.h"

namespace fetchunpack {

namespace {

bool readSeconds(const char* name, double& value) {
  const char* text = std::getenv(name);
  if (!text || !*text) return false;
  char* end = nullptr;
  const double parsed = std::strtod(text, &end);
  if (*end != '\0' || !std::isfinite(parsed) || parsed < 0) return false;
  value = parsed;
  return true;
}

bool hasHttpScheme(const std::string& url) {
  return strncasecmp(url.c_str(), "http://", 7) == 0 ||
         strncasecmp(url.c_str(), "https://", 8) == 0;
}

std::string formatBytes(double bytes) {
  static const char* const units[] = {"B", "KB", "MB", "GB", "TB"};
  int unit = 0;
  while (bytes >= 1000.0 && unit < 4) {
    bytes /= 1000.0;
    ++unit;
  }
  char text[32];
  std::snprintf(text, sizeof text, unit == 0 ? "%.0f %s" : "%.1f %s", bytes, units[unit]);
  return text;
}

using Clock = std::chrono::steady_clock;

// A line of status text behind the transcript on the terminal: the cursor position is saved
// when the text first appears, and every update rewrites the text from there.
struct StatusDisplay {
  bool enabled = false;
  bool shown = false;
  Clock::time_point lastShown{};

  void show(const std::string& text) {
    if (!enabled) return;
    if (!shown) std::fputs("\0337", stderr);
    shown = true;
    lastShown = Clock::now();
    std::fprintf(stderr, "\0338\033[K  [%s]", text.c_str());
    std::fflush(stderr);
  }

  void clear() {
    if (!shown) return;
    std::fputs("\0338\033[K", stderr);
    std::fflush(stderr);
    shown = false;
  }
};

// Bytes, total and rate, at most four times a second and not in the first half second.
void showProgress(StatusDisplay& display, Clock::time_point start, std::int64_t received,
                  std::int64_t total) {
  const auto time = Clock::now();
  if (display.shown && time - display.lastShown < std::chrono::milliseconds(250)) return;
  const double seconds = std::chrono::duration<double>(time - start).count();
  if (seconds < 0.5) return;
  std::string text = formatBytes(static_cast<double>(received));
  if (total > 0) text += " of " + formatBytes(static_cast<double>(total));
  text += ", " + formatBytes(static_cast<double>(received) / seconds) + "/s";
  display.show(text);
}

// Whether the completed body may replace what is at `outputPath`: a status other than 200 is
// never the file (204 and 304 carry no body, 206 only part of one, and a redirection that could
// not be followed ends with its own status), and a body that `check` refuses never replaces an
// older file of that name. 0 when it may; else the result downloadToFile returns.
std::int64_t judgeBody(const std::string& url, long httpStatus, platform::AtomicFile& file,
                       const std::string& outputPath, BodyCheck* check, std::string& cause) {
  if (httpStatus != 200) {
    cause = url + ": HTTP status " + std::to_string(httpStatus);
    return kDownloadFailed;
  }
  if (check && check->judge && platform::pathExistsUtf8(outputPath)) {
    if (!file.close(cause)) return kDownloadNotWritten;
    const int refusal = check->judge(file.temporaryPath(), cause);
    if (refusal != 0) {
      check->refusal = refusal;
      return kDownloadRefused;
    }
  }
  return 0;
}

}  // namespace

DownloadSettings downloadSettingsFromEnvironment() {
  DownloadSettings settings;
  double connect = 0;
  if (readSeconds("FETCHUNPACK_CONNECT_TIMEOUT", connect) && connect > 0)
    settings.connectTimeout = connect;
  double stall = 0;
  if (readSeconds("FETCHUNPACK_STALL_TIMEOUT", stall)) {
    settings.stallTimeout = std::max(1L, static_cast<long>(std::ceil(std::min(stall, 1e6))));
  }
  readSeconds("FETCHUNPACK_RETRY_DELAY", settings.retryDelay);
  settings.showProgress = platform::standardErrorIsTerminal();
  return settings;
}

bool isRetryableStatus(long httpStatus) {
  return httpStatus == 408 || httpStatus == 429 || httpStatus == 500 || httpStatus == 502 ||
         httpStatus == 503 || httpStatus == 504;
}

namespace {

// One attempt into a fresh temporary file: the body replaces the file when it is complete and
// judgeBody lets it. `mayRetry` tells whether a failure is worth another try.
std::int64_t attemptDownload(const std::string& url, const std::string& outputPath,
                             const DownloadSettings& settings, StatusDisplay& display,
                             BodyCheck* check, std::string& cause, bool& mayRetry) {
  mayRetry = false;
  platform::AtomicFile file;
  if (!file.create(outputPath, cause)) return kDownloadNotWritten;
  std::int64_t bytes = 0;
  std::string writeCause;
  const auto start = Clock::now();
  const BodySink body = [&](const char* data, std::size_t size) {
    if (!file.write(data, size, writeCause)) return false;
    bytes += static_cast<std::int64_t>(size);
    return true;
  };
  const ProgressSink progress = [&](std::int64_t received, std::int64_t total) {
    showProgress(display, start, received, total);
  };
  const TransferResult result =
      transferUrl(url, settings, body, settings.showProgress ? progress : ProgressSink());
  display.clear();
  switch (result.status) {
    case TransferStatus::Complete:
      if (const std::int64_t refused =
              judgeBody(url, result.httpStatus, file, outputPath, check, cause)) {
        return refused;
      }
      if (!file.commit(cause)) return kDownloadNotWritten;
      return bytes;
    case TransferStatus::NoSession:
      cause = result.cause;
      return kDownloadNoSession;
    case TransferStatus::SinkRefused:
      cause = writeCause;
      return kDownloadNotWritten;
    case TransferStatus::Failed:
      break;
  }
  cause = result.cause;
  mayRetry = result.retryable;
  return kDownloadFailed;
}

// Shows the failure and the coming retry in the status line while waiting `delay` seconds.
void waitBeforeRetry(StatusDisplay& display, const std::string& cause, double delay) {
  char notice[64];
  std::snprintf(notice, sizeof notice, "; retrying in %g s", delay);
  display.show(cause + notice);
  std::this_thread::sleep_for(std::chrono::duration<double>(delay));
  display.clear();
}

}  // namespace

std::int64_t downloadToFile(const std::string& url, const std::string& outputPath,
                            std::string& cause, BodyCheck* check) {
  return downloadToFile(url, outputPath, cause, downloadSettingsFromEnvironment(), check);
}

std::int64_t downloadToFile(const std::string& url, const std::string& outputPath,
                            std::string& cause, const DownloadSettings& settings,
                            BodyCheck* check) {
  if (url.empty()) {
    cause = "no URL";
    return kDownloadNoUrl;
  }
  if (!hasHttpScheme(url)) {
    cause = url + ": not an http: or https: URL";
    return kDownloadFailed;
  }
  StatusDisplay display;
  display.enabled = settings.showProgress;
  double delay = settings.retryDelay;
  for (int attempt = 0;; ++attempt) {
    bool mayRetry = false;
    const std::int64_t result =
        attemptDownload(url, outputPath, settings, display, check, cause, mayRetry);
    if (result >= 0 || !mayRetry || attempt >= settings.retries) return result;
    waitBeforeRetry(display, cause, delay);
    delay *= 2;
  }
}

}  // namespace fetchunpack
