#pragma once

// The character reference the XML and the HTML writers put for a byte of a text,
// or nullptr for a byte that goes out as it is. Each writer sends here only the
// bytes its markup needs replaced, so the two cannot spell a reference differently.
inline const char *MarkupReference(char byte)
{
    switch (byte) {
    case '&':
        return "&amp;";
    case '<':
        return "&lt;";
    case '>':
        return "&gt;";
    case '"':
        return "&quot;";
    case '\'':
        return "&#39;";
    case '\t':
        return "&#9;";
    case '\n':
        return "&#10;";
    case '\r':
        return "&#13;";
    default:
        return nullptr;
    }
}
