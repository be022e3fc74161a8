// The URL as a request sends it, the same on every platform whatever its HTTP client would make
// of other characters: printable ASCII only, and no fragment.
#pragma once

#include <string>
#include <string_view>

namespace fetchunpack {

// `url` (UTF-8) without its fragment (from the first "#" on, which names a place in the
// document and is never sent), with every byte outside printable ASCII (the controls, space,
// DEL and each byte of a multi-byte character) written as a percent escape in lower-case hex,
// the form libcurl sends: ".../データ.zip" -> ".../%e3%83%87%e3%83%bc%e3%82%bf.zip". Escapes
// already in the URL, and a "%" that starts none, stay as they are.
std::string requestUrlOf(std::string_view url);

}  // namespace fetchunpack
