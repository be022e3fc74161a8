#include "fetchunpack/download.h"

#include <curl/curl.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "platform/atomicfile.h"

namespace fetchunpack {

namespace {

// Large receive buffers keep the number of write calls low on fast links.
constexpr long kReceiveBufferSize = 512 * 1024;

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

// One attempt at the transfer: the temporary file and what the callbacks learned.
struct Transfer {
  platform::AtomicFile file;
  std::int64_t bytes = 0;
  bool writeFailed = false;
  std::string writeCause;
  StatusDisplay* display = nullptr;
  Clock::time_point start = Clock::now();
};

std::size_t writeBody(char* data, std::size_t size, std::size_t count, void* context) {
  auto& transfer = *static_cast<Transfer*>(context);
  const std::size_t n = size * count;
  if (!transfer.file.write(data, n, transfer.writeCause)) {
    transfer.writeFailed = true;
    return 0;  // makes libcurl end the transfer with a write error
  }
  transfer.bytes += static_cast<std::int64_t>(n);
  return n;
}

int showProgress(void* context, curl_off_t total, curl_off_t now, curl_off_t, curl_off_t) {
  auto& transfer = *static_cast<Transfer*>(context);
  StatusDisplay& display = *transfer.display;
  const auto time = Clock::now();
  if (display.shown && time - display.lastShown < std::chrono::milliseconds(250)) return 0;
  const double seconds = std::chrono::duration<double>(time - transfer.start).count();
  if (seconds < 0.5) return 0;
  std::string text = formatBytes(static_cast<double>(now));
  if (total > 0) text += " of " + formatBytes(static_cast<double>(total));
  text += ", " + formatBytes(static_cast<double>(now) / seconds) + "/s";
  display.show(text);
  return 0;
}

bool olderFileExists(const std::string& path) {
  struct stat info;
  return ::lstat(path.c_str(), &info) == 0;
}

// Owns the libcurl handle, header list and error text of one call.
struct Session {
  CURL* curl = curl_easy_init();
  curl_slist* headers = nullptr;
  char errorText[CURL_ERROR_SIZE] = "";
  Session() = default;
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;
  ~Session() {
    if (curl) curl_easy_cleanup(curl);
    curl_slist_free_all(headers);
  }
};

// Sets what stays the same over every attempt of one download.
void configureSession(Session& session, const std::string& url, const DownloadSettings& settings) {
  CURL* curl = session.curl;
  session.headers = curl_slist_append(session.headers, "Cache-Control: no-cache");
  session.headers = curl_slist_append(session.headers, "Pragma: no-cache");
  curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
  curl_easy_setopt(curl, CURLOPT_USERAGENT, "Agent-A");
  curl_easy_setopt(curl, CURLOPT_HTTPHEADER, session.headers);
  curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(curl, CURLOPT_MAXREDIRS, 20L);
  curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(curl, CURLOPT_FAILONERROR, 1L);
  curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, session.errorText);
  curl_easy_setopt(curl, CURLOPT_BUFFERSIZE, kReceiveBufferSize);
  curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS,
                   static_cast<long>(std::min(settings.connectTimeout, 1e6) * 1000.0));
  curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
  curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, settings.stallTimeout);
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, writeBody);
  // The same variables the curl tool reads name a certificate bundle other than the system's.
  for (const char* name : {"CURL_CA_BUNDLE", "SSL_CERT_FILE"}) {
    const char* bundle = std::getenv(name);
    if (bundle && *bundle) {
      curl_easy_setopt(curl, CURLOPT_CAINFO, bundle);
      break;
    }
  }
  if (settings.showProgress) {
    curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, showProgress);
    curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
  }
}

// A complete transfer: only a body with the final status 200 that the check accepts (when
// there is an older file to keep) replaces the file.
std::int64_t keepBody(Transfer& transfer, const std::string& url, const std::string& outputPath,
                      long status, BodyCheck* check, std::string& cause) {
  // 204 and 304 carry no body, 206 only part of one, and a redirection that could not be
  // followed ends with its own status: none of them is the file.
  if (status != 200) {
    cause = url + ": HTTP status " + std::to_string(status);
    return kDownloadFailed;
  }
  if (check && check->judge && olderFileExists(outputPath)) {
    if (!transfer.file.close(cause)) return kDownloadNotWritten;
    const int refusal = check->judge(transfer.file.temporaryPath(), cause);
    if (refusal != 0) {
      check->refusal = refusal;
      return kDownloadRefused;
    }
  }
  if (!transfer.file.commit(cause)) return kDownloadNotWritten;
  return transfer.bytes;
}

// One attempt at the transfer into a fresh temporary file. `mayRetry` tells whether a
// failure is one worth another try.
std::int64_t attemptDownload(Session& session, const std::string& url,
                             const std::string& outputPath, StatusDisplay& display,
                             BodyCheck* check, std::string& cause, bool& mayRetry) {
  mayRetry = false;
  Transfer transfer;
  transfer.display = &display;
  if (!transfer.file.create(outputPath, cause)) return kDownloadNotWritten;
  curl_easy_setopt(session.curl, CURLOPT_WRITEDATA, &transfer);
  curl_easy_setopt(session.curl, CURLOPT_XFERINFODATA, &transfer);
  session.errorText[0] = '\0';
  const CURLcode code = curl_easy_perform(session.curl);
  display.clear();
  if (transfer.writeFailed) {
    cause = transfer.writeCause;
    return kDownloadNotWritten;
  }
  long status = 0;
  curl_easy_getinfo(session.curl, CURLINFO_RESPONSE_CODE, &status);
  if (code == CURLE_OK) return keepBody(transfer, url, outputPath, status, check, cause);

  if (code == CURLE_HTTP_RETURNED_ERROR) {
    cause = url + ": HTTP status " + std::to_string(status);
  } else {
    cause = url + ": " + (session.errorText[0] ? session.errorText : curl_easy_strerror(code));
  }
  mayRetry = isTransientFailure(code, status);
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
  settings.showProgress = ::isatty(STDERR_FILENO) == 1;
  return settings;
}

bool isTransientFailure(int curlCode, long httpStatus) {
  switch (curlCode) {
    case CURLE_OPERATION_TIMEDOUT:
    case CURLE_PARTIAL_FILE:
    case CURLE_GOT_NOTHING:
    case CURLE_SEND_ERROR:
    case CURLE_RECV_ERROR:
      return true;
    case CURLE_HTTP_RETURNED_ERROR:
      return httpStatus == 408 || httpStatus == 429 || httpStatus == 500 || httpStatus == 502 ||
             httpStatus == 503 || httpStatus == 504;
    default:
      return false;
  }
}

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
  Session session;
  if (!session.curl) {
    cause = "libcurl could not start a session";
    return kDownloadNoSession;
  }
  configureSession(session, url, settings);
  StatusDisplay display;
  display.enabled = settings.showProgress;
  double delay = settings.retryDelay;
  for (int attempt = 0;; ++attempt) {
    bool mayRetry = false;
    const std::int64_t result =
        attemptDownload(session, url, outputPath, display, check, cause, mayRetry);
    if (!mayRetry || attempt >= settings.retries) return result;
    waitBeforeRetry(display, cause, delay);
    delay *= 2;
  }
}

}  // namespace fetchunpack
