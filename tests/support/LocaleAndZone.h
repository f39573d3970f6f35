#pragma once

#include <QLocale>

#include <optional>
#include <string>

// Locale and time zone for one test (or one case of a table); both are restored
// when it ends.
class LocaleAndZone
{
public:
    LocaleAndZone(const QLocale &locale, const char *zone);
    ~LocaleAndZone();
    LocaleAndZone(const LocaleAndZone &) = delete;
    LocaleAndZone &operator=(const LocaleAndZone &) = delete;

private:
    QLocale m_locale;
    std::optional<std::string> m_zone;
};
