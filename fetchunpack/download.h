// Fetching one URL over HTTP or HTTPS into one local file.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace fetchunpack {

// Negative results of downloadToFile; any result of 0 or more is the number of body bytes.
constexpr std::int64_t kDownloadNoUrl = -1;       // the URL is empty
constexpr std::int64_t kDownloadNoSession = -2;   // the HTTP client could not start a session
constexpr std::int64_t kDownloadFailed = -3;      // unreachable, error status, broken transfer
constexpr std::int64_t kDownloadNotWritten = -4;  // the file could not be written
constexpr std::int64_t kDownloadRefused = -5;     // the body check refused the body

// Judges a complete body before it replaces an older file of the same name. `judge` gets the
// path of the temporary file holding the body and returns 0 to let it replace the older file,
// or a non-zero code (kept in `refusal`, with the reason in `cause`) to keep the older file.
struct BodyCheck {
  std::function<int(const std::string& temporaryPath, std::string& cause)> judge;
  int refusal = 0;
};

struct DownloadSettings {
  double connectTimeout = 30.0;  // seconds to establish the connection
  long stallTimeout = 60;        // seconds without data before a transfer is given up
  double retryDelay = 1.0;       // pause before the first retry, doubled for each further one
  int retries = 3;
  bool showProgress = false;  // bytes and rate on standard error
};

// Defaults, shortened by FETCHUNPACK_CONNECT_TIMEOUT, FETCHUNPACK_STALL_TIMEOUT and
// FETCHUNPACK_RETRY_DELAY (seconds); progress is shown when standard error is a terminal.
DownloadSettings downloadSettingsFromEnvironment();

// HTTP statuses worth another try: 408, 429, 500, 502, 503 and 504. Timeouts and connections
// that broke off are retried as well.
bool isRetryableStatus(long httpStatus);

// GETs `url` (http: or https: only) with the agent "Agent-A", following redirects and bypassing
// caches, through the platform's proxy settings (environment variables or Windows'), and writes the
// body to `outputPath`. Only a body that arrived whole with the final status 200 is a
// download; any other final status fails. The file is replaced only by such a body, and,
// when `check` is given and a file of that name exists, only by a body that `check` accepts; an
// older file of that name survives every failure. Returns the byte count or a negative result,
// with the cause of a failure in `cause`.
std::int64_t downloadToFile(const std::string& url, const std::string& outputPath,
                            std::string& cause, const DownloadSettings& settings,
                            BodyCheck* check = nullptr);
std::int64_t downloadToFile(const std::string& url, const std::string& outputPath,
                            std::string& cause, BodyCheck* check = nullptr);

}  // namespace fetchunpack
