#pragma once

#include <QByteArrayView>
#include <QDateTime>
#include <QLocale>
#include <QString>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// The text forms of a catalog record's values. Records store typed values and
// every text a view, sort or export sees is made here, so writer and reader of
// each form can never drift apart.
namespace CatalogText {

// Size in bytes as plain decimal digits: no sign, no grouping, no fraction.
QString sizeText(std::uint64_t bytes);

// Share of `total` taken by `part`, with two decimals, ASCII digits and the
// locale's decimal separator ("12.50", "12,50"), or "0" when the total is zero.
QString percentageText(double part, double total);

// Decimal integer without sign or grouping.
QString countText(std::uint64_t value);

// The text with every decimal digit outside ASCII made the ASCII one of the same
// value. Qt writes some scripts' digits outside the 16-bit range, which its own
// parser cannot read, and the other texts of a row (sizes, counts, percentages)
// are ASCII digits anyway.
QString withAsciiDigits(QString text);

// The text of a name or path given as raw bytes: UTF-8 decoded, bytes that are not
// UTF-8 shown as replacement characters. A leading U+FEFF stays: QString::fromUtf8
// takes it for a byte order mark and drops it, but in a name it is a character like
// any other, and the file is only found again with it.
QString nameText(QByteArrayView bytes);

// The length of nameText(bytes) in UTF-16 units; valid UTF-8 is counted without
// decoding.
// `composable`: the bytes are valid UTF-8, so the lengths of the parts of a path add up.
struct Utf16Length
{
    std::uint64_t units = 0;
    bool composable = true;
};
Utf16Length utf16Length(QByteArrayView bytes);

// The one pair of date and time formats used to write time stamps and to read
// them back: the locale's short date (always with a four-digit year) and its long
// time without the time-zone name and the separators around it.
//
// Texts carry ASCII digits in every locale, like the sizes, counts and
// percentages beside them: Qt reads ASCII digits in any locale but cannot read
// back the digits it writes for some scripts (those beyond 16 bits). Month
// names and AM/PM texts stay the locale's own.
//
// A locale whose own formats do not read back to the second (AM/PM texts Qt
// cannot parse, for one) falls back to its own time on a 24-hour clock without
// the AM/PM text, then to its short date with "HH:mm:ss", and last to
// "yyyy-MM-dd HH:mm:ss"; construction checks this once with a set of probe times.
class TimeFormat
{
public:
    explicit TimeFormat(const QLocale &locale);

    const QLocale &locale() const { return m_locale; }
    const QString &dateFormat() const { return m_dateFormat; }
    const QString &timeFormat() const { return m_timeFormat; }

    // Local time of a moment given in seconds since the epoch (UTC); the date
    // alone when the local time of day is exactly midnight. The offset is the
    // one in force at that moment, not today's.
    QString format(std::int64_t secondsSinceEpoch) const;
    QString format(const QDateTime &moment) const;

    // The text of a local date and time of day (seconds; milliseconds are dropped).
    QString format(QDate date, QTime time) const;
    // format(secondsSinceEpoch) in UTF-8, appended to `out` (the exports' way).
    void appendUtf8(std::int64_t secondsSinceEpoch, std::string &out) const;

    // Reads a text written by format(); nullopt when it is not such a text.
    std::optional<QDateTime> parse(const QString &text) const;

    // The format pair of the current default locale (QLocale()), cached per thread.
    static const TimeFormat &current();

private:
    // Eleven years of days; a day whose slot another holds is made again.
    static constexpr std::size_t DateSlots = 4096;
    struct Cached
    {
        qint64 key = 0;
        QString text;
        QByteArray utf8;
    };
    static bool localDateAndTime(std::int64_t secondsSinceEpoch, QDate &date, QTime &time);
    const Cached &dateSlot(QDate date) const;
    const Cached &timeSlot(QTime time) const;
    QString timeText(QTime time) const;
    void appendTimeUtf8(QTime time, std::string &out) const;

    QLocale m_locale;
    QString m_dateFormat;
    QString m_timeFormat;
    QString m_dateTimeFormat;
    // Texts already made, by Julian day and by second of the day. A TimeFormat is
    // used by one thread at a time (current() keeps one per thread). The seconds come
    // in blocks made when first asked for: a window that shows a few hundred time
    // stamps takes a few hundred blocks, not the 4.8 MB of a whole day.
    static constexpr std::size_t TimeBlock = 64;
    mutable std::vector<Cached> m_dateTexts;
    mutable std::vector<std::unique_ptr<Cached[]>> m_timeTexts;
    // The same time texts in UTF-8 for the exports, packed in one table: a length
    // byte and the bytes, TimeWidth bytes a second, so a stamp costs one read of
    // memory, not two of scattered heap blocks. Length 0: not made yet; TooLong: the
    // text does not fit, timeSlot holds it.
    static constexpr std::size_t TimeWidth = 16;
    static constexpr unsigned char TooLong = 0xFF;
    mutable std::vector<char> m_timeUtf8;
};

// Without TZ, the C library looks at /etc/localtime again (a stat) at every
// conversion to local time: three system calls a row when a million rows of time
// stamps are written. Naming the same file in TZ has it read once. Call it first
// thing in main, before any thread starts; a TZ already set is left alone.
void AvoidZoneFileChecks();

} // namespace CatalogText
