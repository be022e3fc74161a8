// Fetching one URL over HTTP or HTTPS into one local file.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace fetchunpack {

// Negative results of downloadToFile; any result of 0 or more is the number of body bytes.
constexpr std::int64_t kDownloadNoUrl = -1;       // the URL is empty
constexpr std::int64_t kDownloadNoSession = -2;   // the HTTP client could not start a session
constexpr std::int64_t kDownloadFailed = -3;      // unreachable, error status, broken transfer
constexpr std::int64_t kDownloadNotWritten = -4;  // the file could not be written

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
// caches, through `proxy` when it is not empty (else the usual proxy environment variables),
// and writes the body to `outputPath`. The file is replaced only by a complete body; an older
// file of that name survives every failure. Returns the byte count or a negative result, with
// the cause of a failure in `cause`.
std::int64_t downloadToFile(const std::string& url, std::string_view proxy,
                            const std::string& outputPath, std::string& cause,
                            const DownloadSettings& settings);
std::int64_t downloadToFile(const std::string& url, std::string_view proxy,
                            const std::string& outputPath, std::string& cause);

}  // namespace fetchunpack
