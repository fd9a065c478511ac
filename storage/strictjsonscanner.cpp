#include "strictjsonscanner.h"

namespace {

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

void appendUtf8(QByteArray *out, uint code)
{
    if (code < 0x80) {
        out->append(char(code));
    } else if (code < 0x800) {
        out->append(char(0xC0 | (code >> 6)));
        out->append(char(0x80 | (code & 0x3F)));
    } else if (code < 0x10000) {
        out->append(char(0xE0 | (code >> 12)));
        out->append(char(0x80 | ((code >> 6) & 0x3F)));
        out->append(char(0x80 | (code & 0x3F)));
    } else {
        out->append(char(0xF0 | (code >> 18)));
        out->append(char(0x80 | ((code >> 12) & 0x3F)));
        out->append(char(0x80 | ((code >> 6) & 0x3F)));
        out->append(char(0x80 | (code & 0x3F)));
    }
}

} // namespace

bool StrictJsonScanner::hex4(uint *code)
{
    if (m_end - m_p < 4)
        return false;
    *code = 0;
    for (int i = 0; i < 4; ++i) {
        const int digit = hexValue(m_p[i]);
        if (digit < 0)
            return false;
        *code = *code * 16 + uint(digit);
    }
    m_p += 4;
    return true;
}

bool StrictJsonScanner::string(QByteArray *out, bool *escaped, qsizetype reserve)
{
    if (!take('"'))
        return false;
    if (out && reserve > 0)
        out->reserve(m_end - m_p < reserve ? m_end - m_p : reserve);
    for (;;) {
        const char *run = m_p;
        while (m_p < m_end && *m_p != '"' && *m_p != '\\' && uchar(*m_p) >= 0x20)
            ++m_p;
        if (out)
            out->append(run, m_p - run);
        if (m_p >= m_end || uchar(*m_p) < 0x20)
            return false;
        if (*m_p++ == '"')
            return true;
        *escaped = true;
        if (m_p >= m_end)
            return false;
        char plain = 0;
        switch (*m_p++) {
        case '"': plain = '"'; break;
        case '\\': plain = '\\'; break;
        case '/': plain = '/'; break;
        case 'b': plain = '\b'; break;
        case 'f': plain = '\f'; break;
        case 'n': plain = '\n'; break;
        case 'r': plain = '\r'; break;
        case 't': plain = '\t'; break;
        case 'u': {
            uint code = 0;
            if (!hex4(&code) || code == 0 || (code >= 0xDC00 && code <= 0xDFFF))
                return false;
            if (code >= 0xD800 && code <= 0xDBFF) {
                uint low = 0;
                if (!take('\\') || !take('u') || !hex4(&low) || low < 0xDC00 || low > 0xDFFF)
                    return false;
                code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
            }
            if (out)
                appendUtf8(out, code);
            continue;
        }
        default:
            return false;
        }
        if (out)
            out->append(plain);
    }
}
