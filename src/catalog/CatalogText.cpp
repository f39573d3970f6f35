#include "CatalogText.h"

#include <QTimeZone>

namespace CatalogText {

QString sizeText(std::uint64_t bytes)
{
    // Whole numbers are written exactly, also beyond 10^15 bytes, where a
    // 15-digit floating-point form would round folder totals of large volumes.
    return QString::number(static_cast<qulonglong>(bytes));
}

QString percentageText(double part, double total)
{
    if (total == 0.0)
        return QStringLiteral("0");
    QLocale locale;
    locale.setNumberOptions(locale.numberOptions() | QLocale::OmitGroupSeparator);
    return locale.toString(part / total * 100.0, 'f', 2);
}

QString countText(std::uint64_t value)
{
    return QString::number(static_cast<qulonglong>(value));
}

namespace {

// Removes unquoted occurrences of the format letters in `letters` together with
// the blanks and brackets left around them.
QString withoutLetters(const QString &format, QStringView letters)
{
    QString out;
    bool quoted = false;
    for (QChar c : format) {
        if (c == u'\'')
            quoted = !quoted;
        if (!quoted && letters.contains(c))
            continue;
        out += c;
    }
    out.replace(QStringLiteral("()"), QString());
    return out.simplified();
}

// Widens a two-digit year ("yy") to four digits so that a time stamp read back
// never lands in the wrong century.
QString withFullYear(const QString &format)
{
    QString out;
    bool quoted = false;
    for (qsizetype i = 0; i < format.size();) {
        const QChar c = format.at(i);
        if (c == u'\'') {
            quoted = !quoted;
            out += c;
            ++i;
            continue;
        }
        if (!quoted && c == u'y') {
            qsizetype run = 0;
            while (i + run < format.size() && format.at(i + run) == u'y')
                ++run;
            out += QStringLiteral("yyyy");
            i += run;
            continue;
        }
        out += c;
        ++i;
    }
    return out;
}

} // namespace

TimeFormat::TimeFormat(const QLocale &locale)
    : m_locale(locale)
    , m_dateFormat(withFullYear(locale.dateFormat(QLocale::ShortFormat)))
    , m_timeFormat(withoutLetters(locale.timeFormat(QLocale::LongFormat), u"t"))
{
}

QString TimeFormat::format(std::int64_t secondsSinceEpoch) const
{
    return format(QDateTime::fromSecsSinceEpoch(secondsSinceEpoch, Qt::LocalTime));
}

QString TimeFormat::format(const QDateTime &localTime) const
{
    if (!localTime.isValid())
        return QString();
    if (localTime.time() == QTime(0, 0))
        return m_locale.toString(localTime.date(), m_dateFormat);
    return m_locale.toString(localTime.date(), m_dateFormat) + u' '
        + m_locale.toString(localTime.time(), m_timeFormat);
}

std::optional<QDateTime> TimeFormat::parse(const QString &text) const
{
    const QDateTime withTime =
        m_locale.toDateTime(text, m_dateFormat + u' ' + m_timeFormat);
    if (withTime.isValid())
        return withTime;
    const QDate dateOnly = m_locale.toDate(text, m_dateFormat);
    if (dateOnly.isValid())
        return QDateTime(dateOnly, QTime(0, 0), Qt::LocalTime);
    return std::nullopt;
}

const TimeFormat &TimeFormat::current()
{
    thread_local std::optional<TimeFormat> cached;
    const QLocale now;
    if (!cached || cached->locale() != now)
        cached.emplace(now);
    return *cached;
}

} // namespace CatalogText
