#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// gettext message catalogues (.mo files) read as untrusted data, without the
// C library's process-wide text domain and locale.
namespace hb::sources {

class MessageCatalog {
public:
    // The catalogue in `bytes`, of either byte order; absent when it is
    // malformed, names strings outside itself, or names overlapping strings
    // that together hold far more than the file.
    static std::optional<MessageCatalog> parse(std::string_view bytes);

    // The translation of `message` in `context` (empty for none); absent when
    // the catalogue has none.
    std::optional<std::string> translate(std::string_view context, std::string_view message) const;

private:
    std::map<std::string, std::string, std::less<>> translations_;
};

// The catalogue folders to try for the user's language, best first: each of
// LANGUAGE (a colon-separated list), then the first set of LC_ALL,
// LC_MESSAGES and LANG unless it is C or POSIX. A name gives its variants in
// gettext's order: "de_DE.UTF-8@euro" gives de_DE.UTF-8@euro, de_DE.UTF-8,
// de_DE@euro, de_DE, de@euro, de. LANGUAGE counts also under the C locale,
// so that it alone chooses the language.
std::vector<std::string> catalogLanguages(std::optional<std::string_view> language,
                                          std::optional<std::string_view> lcAll,
                                          std::optional<std::string_view> lcMessages,
                                          std::optional<std::string_view> lang);

} // namespace hb::sources
