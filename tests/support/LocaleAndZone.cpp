#include "LocaleAndZone.h"

#include <cstdlib>
#include <ctime>

LocaleAndZone::LocaleAndZone(const QLocale &locale, const char *zone) : m_locale(QLocale())
{
    if (const char *old = std::getenv("TZ"))
        m_zone = old;
    QLocale::setDefault(locale);
    ::setenv("TZ", zone, 1);
    ::tzset();
}

LocaleAndZone::~LocaleAndZone()
{
    QLocale::setDefault(m_locale);
    if (m_zone)
        ::setenv("TZ", m_zone->c_str(), 1);
    else
        ::unsetenv("TZ");
    ::tzset();
}
