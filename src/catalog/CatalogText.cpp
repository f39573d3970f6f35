#include "CatalogText.h"

#include <QStringDecoder>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <vector>

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
    // ASCII digits like the sizes and counts of the same row; only the decimal
    // separator follows the locale (a string: it need not be one character).
    QString text = QString::number(part / total * 100.0, 'f', 2);
    // Asking the system locale for its separator goes through a QVariant query: done
    // once per locale and thread, not once per row of a million-row export.
    thread_local QLocale cachedLocale(QLocale::c());
    thread_local QString point = QStringLiteral(".");
    if (const QLocale now; now != cachedLocale) {
        cachedLocale = now;
        point = now.decimalPoint();
    }
    if (point != QLatin1String("."))
        text.replace(u'.', point);
    return text;
}

QString countText(std::uint64_t value)
{
    return QString::number(static_cast<qulonglong>(value));
}

QString nameText(QByteArrayView bytes)
{
    if (!bytes.startsWith("\xEF\xBB\xBF"))
        return QString::fromUtf8(bytes);
    // Stateless: a sequence cut short at the end becomes a replacement character, as
    // QString::fromUtf8 makes it, instead of waiting for bytes that never come.
    QStringDecoder decoder(
        QStringDecoder::Utf8, QStringConverter::Flag::ConvertInitialBom | QStringConverter::Flag::Stateless);
    return decoder.decode(bytes);
}

Utf16Length utf16Length(QByteArrayView bytes)
{
    bool ascii = true;
    for (const char c : bytes)
        ascii = ascii && static_cast<unsigned char>(c) < 0x80;
    if (ascii)
        return {std::uint64_t(bytes.size()), true};
    if (!bytes.isValidUtf8())
        return {std::uint64_t(nameText(bytes).size()), false};
    std::uint64_t units = 0;
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        units += (b & 0xC0) != 0x80;
        units += b >= 0xF0; // four bytes: a surrogate pair
    }
    return {units, true};
}

namespace {

// One piece of a QLocale date or time pattern.
struct Token
{
    enum Kind {
        Field, // a run of d, M, y, h, H, m, s or z
        AmPm, // AP, ap, A, a, Ap, aP
        Zone, // t
        Foreign, // a letter Qt does not know (CLDR's day periods B and b, ...)
        Quoted, // quoted text, kept with its quotes
        Literal, // unquoted text without letters: separators, blanks, other scripts
    };
    Kind kind;
    QString text;
};

bool isAsciiLetter(QChar c)
{
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
}

std::vector<Token> tokenize(QStringView format)
{
    std::vector<Token> tokens;
    const qsizetype n = format.size();
    for (qsizetype i = 0; i < n;) {
        const QChar c = format[i];
        if (c == u'\'') {
            qsizetype j = i + 1;
            while (j < n) {
                if (format[j] == u'\'') {
                    if (j + 1 < n && format[j + 1] == u'\'') {
                        j += 2;
                        continue;
                    }
                    break;
                }
                ++j;
            }
            const qsizetype end = std::min(j + 1, n);
            tokens.push_back({Token::Quoted, format.mid(i, end - i).toString()});
            i = end;
        } else if (isAsciiLetter(c)) {
            if (c == u'a' || c == u'A') {
                const qsizetype len = (i + 1 < n && (format[i + 1] == u'p' || format[i + 1] == u'P')) ? 2 : 1;
                tokens.push_back({Token::AmPm, format.mid(i, len).toString()});
                i += len;
                continue;
            }
            qsizetype j = i;
            while (j < n && format[j] == c)
                ++j;
            const QString run = format.mid(i, j - i).toString();
            const Token::Kind kind = QStringView(u"dMyhHmsz").contains(c) ? Token::Field
                : c == u't'                                               ? Token::Zone
                                                                          : Token::Foreign;
            tokens.push_back({kind, run});
            i = j;
        } else {
            qsizetype j = i;
            while (j < n && format[j] != u'\'' && !isAsciiLetter(format[j]))
                ++j;
            tokens.push_back({Token::Literal, format.mid(i, j - i).toString()});
            i = j;
        }
    }
    return tokens;
}

QString joined(const std::vector<Token> &tokens)
{
    QString out;
    for (const Token &t : tokens)
        out += t.text;
    return out;
}

// Blanks, list separators and opening brackets before a removed piece belong to
// it ("HH:mm:ss, t", "H:mm:ss (t)"), as do blanks and closing brackets after it.
bool tiedBefore(QChar c)
{
    return c.isSpace() || c == u',' || c == u';' || c == u':' || c == u'-'
        || c.category() == QChar::Punctuation_Open;
}

bool tiedAfter(QChar c)
{
    return c.isSpace() || c.category() == QChar::Punctuation_Close;
}

// Removes token `k` together with the separators tied to it; where fields remain
// on both sides and the removal took a blank, one blank stays between them.
// Returns the index of the first token after the removed ones.
std::size_t removeToken(std::vector<Token> &tokens, std::size_t k)
{
    bool tookBlank = false;
    if (k > 0 && tokens[k - 1].kind == Token::Literal) {
        QString &before = tokens[k - 1].text;
        while (!before.isEmpty() && tiedBefore(before.back())) {
            tookBlank = tookBlank || before.back().isSpace();
            before.chop(1);
        }
    }
    if (k + 1 < tokens.size() && tokens[k + 1].kind == Token::Literal) {
        QString &after = tokens[k + 1].text;
        qsizetype cut = 0;
        while (cut < after.size() && tiedAfter(after[cut])) {
            tookBlank = tookBlank || after[cut].isSpace();
            ++cut;
        }
        after.remove(0, cut);
    }
    tokens.erase(tokens.begin() + qsizetype(k));
    if (k < tokens.size() && tokens[k].text.isEmpty())
        tokens.erase(tokens.begin() + qsizetype(k));
    if (k > 0 && tokens[k - 1].text.isEmpty())
        tokens.erase(tokens.begin() + qsizetype(--k));
    const bool middle = k > 0 && k < tokens.size();
    if (middle && tookBlank && !tokens[k - 1].text.back().isSpace() && !tokens[k].text.front().isSpace()) {
        tokens.insert(tokens.begin() + qsizetype(k), Token {Token::Literal, QStringLiteral(" ")});
        return k + 1;
    }
    return k;
}

enum class Clock {
    AsIs,
    TwentyFourHour
};

// Cleans a time or date pattern into one that Qt formats and reads without
// leftovers: no time zone (a catalog shows local time, and the zone name would
// not read back), no letters Qt would copy verbatim, nothing dangling at the ends.
// TwentyFourHour also drops the AM/PM text, for locales whose AM/PM texts Qt
// cannot read back.
QString cleanFormat(QStringView format, Clock clock = Clock::AsIs)
{
    std::vector<Token> tokens = tokenize(format);
    if (clock == Clock::TwentyFourHour) {
        for (std::size_t k = 0; k < tokens.size();) {
            if (tokens[k].kind == Token::AmPm
                || (tokens[k].kind == Token::Foreign
                    && tokens[k].text.compare(u"b", Qt::CaseInsensitive) == 0)) {
                k = removeToken(tokens, k);
                continue;
            }
            if (tokens[k].kind == Token::Field && tokens[k].text.front() == u'h')
                tokens[k].text.fill(u'H');
            ++k;
        }
    }

    bool hasAmPm = false, hasTwelveHour = false;
    for (const Token &t : tokens) {
        hasAmPm = hasAmPm || t.kind == Token::AmPm;
        hasTwelveHour = hasTwelveHour || (t.kind == Token::Field && t.text.front() == u'h');
    }
    for (std::size_t k = 0; k < tokens.size();) {
        Token &t = tokens[k];
        if (t.kind == Token::Field && t.text.front() == u'y') {
            // A two-digit year read back could land in the wrong century.
            t.text = QStringLiteral("yyyy");
        } else if (t.kind == Token::Foreign && (t.text == u"B" || t.text == u"b") && !hasAmPm
            && hasTwelveHour) {
            // A day period ("in the afternoon") in front of a 12-hour clock:
            // the closest Qt has is the AM/PM text, and the hour needs one.
            t = {Token::AmPm, QStringLiteral("AP")};
            hasAmPm = true;
        } else if (t.kind == Token::Zone || t.kind == Token::Foreign) {
            k = removeToken(tokens, k);
            continue;
        }
        ++k;
    }

    // Literal text only at the very ends: trim what separated it from a removed piece.
    const auto dangling = [](QChar c) {
        return c.isSpace() || c == u',' || c == u';' || c == u':' || c == u'-' || c == u'/';
    };
    while (!tokens.empty() && tokens.front().kind == Token::Literal) {
        QString &s = tokens.front().text;
        while (!s.isEmpty() && (dangling(s.front()) || s.front().category() == QChar::Punctuation_Close))
            s.remove(0, 1);
        if (!s.isEmpty())
            break;
        tokens.erase(tokens.begin());
    }
    while (!tokens.empty() && tokens.back().kind == Token::Literal) {
        QString &s = tokens.back().text;
        while (!s.isEmpty() && (dangling(s.back()) || s.back().category() == QChar::Punctuation_Open))
            s.chop(1);
        if (!s.isEmpty())
            break;
        tokens.pop_back();
    }
    return joined(tokens);
}

} // namespace

void AvoidZoneFileChecks()
{
    // Called at start-up before any other thread exists, so the environment cannot
    // change under a reader.
    if (std::getenv("TZ") == nullptr)
        ::setenv("TZ", ":/etc/localtime", 0); // NOLINT(concurrency-mt-unsafe)
}

QString withAsciiDigits(QString text)
{
    bool ascii = true;
    for (QChar c : text)
        ascii = ascii && c.unicode() < 0x80;
    if (ascii)
        return text;
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        char32_t cp = text[i].unicode();
        qsizetype len = 1;
        if (QChar::isHighSurrogate(cp) && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            cp = QChar::surrogateToUcs4(text[i], text[i + 1]);
            len = 2;
        }
        if (QChar::category(cp) == QChar::Number_DecimalDigit && cp >= 0x80)
            out += QChar(u'0' + QChar::digitValue(cp));
        else
            out += QStringView(text).mid(i, len);
        i += len - 1;
    }
    return out;
}

namespace {

QString formatWith(
    const QLocale &locale, const QString &dateFormat, const QString &timeFormat, QDate date, QTime time)
{
    QString text = locale.toString(date, dateFormat);
    if (time != QTime(0, 0))
        text += u' ' + locale.toString(time, timeFormat);
    return withAsciiDigits(text);
}

std::optional<QDateTime> parseWith(
    const QLocale &locale, const QString &dateFormat, const QString &dateTimeFormat, const QString &text)
{
    const QDateTime withTime = locale.toDateTime(text, dateTimeFormat);
    if (withTime.isValid())
        return withTime;
    const QDate dateOnly = locale.toDate(text, dateFormat);
    if (dateOnly.isValid())
        return QDateTime(dateOnly, QTime(0, 0), Qt::LocalTime);
    return std::nullopt;
}

// Qt 6.4 reads past the end of its buffer while matching AM/PM texts of unequal
// lengths (found by AddressSanitizer in some forty locales, lt_LT and sr_BA among
// them), so such texts are never handed to its parser: those locales write a
// 24-hour clock instead.
bool qtReadsAmPmSafely(const QLocale &locale)
{
    const QString am = locale.amText();
    const QString pm = locale.pmText();
    return am.size() == pm.size() && am.toUpper().size() == pm.toUpper().size()
        && am.toLower().size() == pm.toLower().size() && am.toUpper().size() == am.size()
        && am.toLower().size() == am.size();
}

bool hasAmPm(QStringView format)
{
    for (const Token &t : tokenize(format)) {
        if (t.kind == Token::AmPm)
            return true;
    }
    return false;
}

// Whether a pair of formats reads its own texts back to the second: every month
// (for month names), both halves of the day (for AM/PM texts), the first and last
// second of a day, midnight itself, and years far from today.
bool roundTrips(const QLocale &locale, const QString &dateFormat, const QString &timeFormat)
{
    struct Probe
    {
        QDate date;
        QTime time;
    };
    static const std::array<Probe, 19> probes = [] {
        std::array<Probe, 19> p {};
        for (int month = 1; month <= 12; ++month)
            p[std::size_t(month - 1)] = {QDate(2010, month, 28), QTime(month * 2 - 1, 10 + month, 30)};
        p[12] = {QDate(2024, 11, 5), QTime(15, 4, 5)};
        p[13] = {QDate(2024, 11, 5), QTime(9, 4, 5)};
        p[14] = {QDate(2024, 2, 29), QTime(0, 0, 0)};
        p[15] = {QDate(2024, 2, 29), QTime(0, 0, 1)};
        p[16] = {QDate(1999, 12, 31), QTime(23, 59, 59)};
        p[17] = {QDate(2031, 7, 1), QTime(12, 0, 1)};
        p[18] = {QDate(2150, 1, 2), QTime(12, 30, 0)};
        return p;
    }();
    const QString dateTimeFormat = dateFormat + u' ' + timeFormat;
    for (const Probe &probe : probes) {
        const QString text = formatWith(locale, dateFormat, timeFormat, probe.date, probe.time);
        const auto back = parseWith(locale, dateFormat, dateTimeFormat, text);
        if (!back || back->date() != probe.date || back->time() != probe.time)
            return false;
    }
    return true;
}

} // namespace

TimeFormat::TimeFormat(const QLocale &locale) : m_locale(locale)
{
    const QString ownDate = cleanFormat(locale.dateFormat(QLocale::ShortFormat));
    const QString longTime = locale.timeFormat(QLocale::LongFormat);
    const QString candidates[] = {
        cleanFormat(longTime),
        cleanFormat(longTime, Clock::TwentyFourHour),
        QStringLiteral("HH:mm:ss"),
    };
    m_dateFormat = QStringLiteral("yyyy-MM-dd");
    m_timeFormat = QStringLiteral("HH:mm:ss");
    if (!ownDate.isEmpty()) {
        for (const QString &time : candidates) {
            if (time.isEmpty() || (hasAmPm(time) && !qtReadsAmPmSafely(locale)))
                continue;
            if (roundTrips(locale, ownDate, time)) {
                m_dateFormat = ownDate;
                m_timeFormat = time;
                break;
            }
        }
    }
    m_dateTimeFormat = m_dateFormat + u' ' + m_timeFormat;
}

bool TimeFormat::localDateAndTime(std::int64_t secondsSinceEpoch, QDate &date, QTime &time)
{
    // The C library's conversion, which QDateTime makes too, without a QDateTime
    // around it: this runs for every time stamp of every exported row.
    const time_t moment = time_t(secondsSinceEpoch);
    struct tm local;
    if (std::int64_t(moment) == secondsSinceEpoch && ::localtime_r(&moment, &local) != nullptr) {
        date = QDate(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday);
        time = QTime(local.tm_hour, local.tm_min, std::min(local.tm_sec, 59));
        if (date.isValid() && time.isValid())
            return true;
    }
    const QDateTime moment2 = QDateTime::fromSecsSinceEpoch(secondsSinceEpoch, Qt::LocalTime);
    date = moment2.date();
    time = moment2.time();
    return moment2.isValid();
}

QString TimeFormat::format(std::int64_t secondsSinceEpoch) const
{
    QDate date;
    QTime time;
    return localDateAndTime(secondsSinceEpoch, date, time) ? format(date, time) : QString();
}

void TimeFormat::appendUtf8(std::int64_t secondsSinceEpoch, std::string &out) const
{
    QDate date;
    QTime time;
    if (!localDateAndTime(secondsSinceEpoch, date, time))
        return;
    const Cached &day = dateSlot(date);
    out.append(day.utf8.constData(), std::size_t(day.utf8.size()));
    if (time == QTime(0, 0))
        return;
    out.push_back(' ');
    appendTimeUtf8(time, out);
}

void TimeFormat::appendTimeUtf8(QTime time, std::string &out) const
{
    if (m_timeUtf8.empty())
        m_timeUtf8.assign(std::size_t {24} * 60 * 60 * TimeWidth, 0);
    char *entry = &m_timeUtf8[std::size_t(time.msecsSinceStartOfDay() / 1000) * TimeWidth];
    auto length = static_cast<unsigned char>(entry[0]);
    if (length == 0) {
        const QByteArray utf8 = timeText(time).toUtf8();
        if (std::size_t(utf8.size()) >= TimeWidth || utf8.isEmpty()) {
            entry[0] = char(TooLong);
        } else {
            length = static_cast<unsigned char>(utf8.size());
            std::memcpy(entry + 1, utf8.constData(), length);
            entry[0] = char(length);
        }
    }
    if (static_cast<unsigned char>(entry[0]) == TooLong) {
        const Cached &second = timeSlot(time);
        out.append(second.utf8.constData(), std::size_t(second.utf8.size()));
        return;
    }
    out.append(entry + 1, length);
}

QString TimeFormat::format(const QDateTime &moment) const
{
    if (!moment.isValid())
        return QString();
    const QDateTime local = moment.toLocalTime();
    return format(local.date(), local.time());
}

// A date's text depends on the date alone and a time's on the time alone, so both are
// made once and reused: a scan has far fewer distinct days than files, and a day has
// 86,400 seconds. This is what makes exporting millions of time stamps cheap;
// formatWith stays the one definition of the text.
const TimeFormat::Cached &TimeFormat::dateSlot(QDate date) const
{
    if (m_dateTexts.empty())
        m_dateTexts.resize(DateSlots);
    const qint64 day = date.toJulianDay();
    Cached &slot = m_dateTexts[std::size_t(day) % DateSlots];
    if (slot.key != day || slot.text.isEmpty()) {
        slot.key = day;
        slot.text = formatWith(m_locale, m_dateFormat, m_timeFormat, date, QTime(0, 0));
        slot.utf8 = slot.text.toUtf8();
    }
    return slot;
}

const TimeFormat::Cached &TimeFormat::timeSlot(QTime time) const
{
    if (m_timeTexts.empty())
        m_timeTexts.resize(std::size_t {24} * 60 * 60 / TimeBlock);
    const auto second = std::size_t(time.msecsSinceStartOfDay() / 1000);
    std::unique_ptr<Cached[]> &block = m_timeTexts[second / TimeBlock];
    if (!block)
        block = std::make_unique<Cached[]>(TimeBlock);
    Cached &slot = block[second % TimeBlock];
    if (slot.text.isEmpty()) {
        slot.text = timeText(time);
        slot.utf8 = slot.text.toUtf8();
    }
    return slot;
}

QString TimeFormat::timeText(QTime time) const
{
    return withAsciiDigits(m_locale.toString(time, m_timeFormat));
}

QString TimeFormat::format(QDate date, QTime time) const
{
    const QString &dateText = dateSlot(date).text;
    if (time == QTime(0, 0))
        return dateText;
    return dateText + u' ' + timeSlot(time).text;
}

std::optional<QDateTime> TimeFormat::parse(const QString &text) const
{
    return parseWith(m_locale, m_dateFormat, m_dateTimeFormat, text);
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
