#include "DelimitedReader.h"

DelimitedReading ReadDelimited(const QByteArray &bytes, std::string_view separator)
{
    DelimitedReading reading;
    const std::string_view text(bytes.constData(), std::size_t(bytes.size()));
    const auto fail = [&](const std::string &why, std::size_t at) {
        reading.error = why + " at byte " + std::to_string(at);
        return reading;
    };
    std::size_t i = 0;
    std::vector<std::string> record;
    while (i < text.size()) {
        std::string field;
        if (text[i] == '"') {
            for (++i;; ++i) {
                if (i >= text.size())
                    return fail("a quoted field without its closing quote", i);
                if (text[i] != '"') {
                    field += text[i];
                } else if (i + 1 < text.size() && text[i + 1] == '"') {
                    field += '"';
                    ++i;
                } else {
                    ++i;
                    break;
                }
            }
        } else {
            while (i < text.size() && text[i] != '\r' && text.substr(i, separator.size()) != separator) {
                if (text[i] == '"' || text[i] == '\n')
                    return fail("a quote or LF in a field not in quotes", i);
                field += text[i++];
            }
        }
        record.push_back(std::move(field));
        if (text.substr(i, separator.size()) == separator) {
            i += separator.size();
            continue;
        }
        if (text.substr(i, 2) != "\r\n")
            return fail("a field that ends neither at a separator nor at CR LF", i);
        i += 2;
        reading.records.push_back(std::move(record));
        record.clear();
    }
    if (!record.empty())
        return fail("a last record without CR LF", i);
    return reading;
}
