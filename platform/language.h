// The language of the program's resources.
//
// The texts are Russian, as on the device. A resource that also exists in
// English (a second string table, menu or dialog) is taken in English when
// the user's language is English. The language is chosen once, on first
// use, from the environment by the rules gettext follows. On Windows, where
// these variables are seldom set, the user-interface language the system
// gives (GetUserDefaultUILanguage) stands for the locale when none of
// LC_ALL, LC_MESSAGES and LANG is set, as gettext takes it there.
#pragma once

namespace platform {

enum class Language { kRussian, kEnglish };

// The language resources are loaded in.
Language ResourceLanguage();

// Replaces the choice made from the environment.
void SetResourceLanguage(Language language);

// The language named by the environment variables LANGUAGE, LC_ALL,
// LC_MESSAGES and LANG (null or empty: not set). The locale is the first of
// LC_ALL, LC_MESSAGES and LANG that is set; LANGUAGE, a colon-separated
// list, comes before it unless the locale is C (C.UTF-8) or POSIX. The first
// entry naming Russian ("ru...") or English ("en...") decides; without one,
// the texts stay Russian.
Language LanguageFromLocale(const char* language, const char* lcAll, const char* lcMessages,
                            const char* lang);

}  // namespace platform
