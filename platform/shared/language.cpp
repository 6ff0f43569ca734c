#include "platform/language.h"

#include "platform/shared/host.h"

#include <atomic>
#include <cstdlib>
#include <cstring>

namespace platform {
namespace {

constexpr int kNotChosen = -1;
std::atomic<int> chosen{kNotChosen};

bool IsSet(const char* value) { return value != nullptr && value[0] != '\0'; }

// The language part of a locale name ("en" in "en_GB.UTF-8@euro"), given as
// the text from `begin` to `end`: 1 Russian, 2 English, 0 neither.
int Named(const char* begin, const char* end) {
  std::size_t length = std::strcspn(begin, "_.@:");
  if (begin + length > end) length = static_cast<std::size_t>(end - begin);
  if (length != 2) return 0;
  if (std::strncmp(begin, "ru", 2) == 0) return 1;
  if (std::strncmp(begin, "en", 2) == 0) return 2;
  return 0;
}

bool IsCLocale(const char* locale) {
  return std::strcmp(locale, "C") == 0 || std::strncmp(locale, "C.", 2) == 0 ||
         std::strcmp(locale, "POSIX") == 0;
}

}  // namespace

Language LanguageFromLocale(const char* language, const char* lcAll, const char* lcMessages,
                            const char* lang) {
  const char* locale = IsSet(lcAll) ? lcAll : IsSet(lcMessages) ? lcMessages : lang;
  if (!IsSet(locale) || IsCLocale(locale)) return Language::kRussian;
  if (IsSet(language)) {
    for (const char* entry = language; *entry != '\0';) {
      const char* end = std::strchr(entry, ':');
      if (end == nullptr) end = entry + std::strlen(entry);
      int named = Named(entry, end);
      if (named != 0) return named == 2 ? Language::kEnglish : Language::kRussian;
      entry = *end == ':' ? end + 1 : end;
    }
    return Language::kRussian;
  }
  return Named(locale, locale + std::strlen(locale)) == 2 ? Language::kEnglish
                                                          : Language::kRussian;
}

Language ResourceLanguage() {
  int value = chosen.load();
  if (value == kNotChosen) {
    const char* lcAll = std::getenv("LC_ALL");
    const char* lcMessages = std::getenv("LC_MESSAGES");
    const char* lang = std::getenv("LANG");
    // Windows tells its programs the user's language itself: as gettext
    // does there, it stands for the locale when the environment names none.
    if (!IsSet(lcAll) && !IsSet(lcMessages) && !IsSet(lang)) {
      const char* system = host::SystemLanguageName();
      if (system != nullptr) lang = system;
    }
    int fromEnvironment =
        static_cast<int>(LanguageFromLocale(std::getenv("LANGUAGE"), lcAll, lcMessages, lang));
    // A concurrent SetResourceLanguage wins over the environment.
    chosen.compare_exchange_strong(value, fromEnvironment);
    value = chosen.load();
  }
  return static_cast<Language>(value);
}

void SetResourceLanguage(Language language) { chosen.store(static_cast<int>(language)); }

}  // namespace platform
