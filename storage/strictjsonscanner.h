#pragma once

#include <QByteArray>

// The byte-level pieces of a JSON reader that gives up on anything it is not sure of.
// Readers derive from it and keep their own grammar (which values, which numbers).
class StrictJsonScanner
{
public:
    StrictJsonScanner(const char *data, qsizetype size)
        : m_p(data)
        , m_end(data + size)
    {
    }

    char peek() const { return m_p < m_end ? *m_p : '\0'; }
    bool take(char c)
    {
        if (m_p < m_end && *m_p == c) {
            ++m_p;
            return true;
        }
        return false;
    }
    void skipSpace()
    {
        while (m_p < m_end && (*m_p == ' ' || *m_p == '\n' || *m_p == '\r' || *m_p == '\t'))
            ++m_p;
    }
    bool atEnd() const { return m_p == m_end; }

    // A string, unescaped into out when given (null only checks it). escaped is set when
    // it held any escape. With reserve, out is grown once up front, capped by what is left.
    bool string(QByteArray *out, bool *escaped, qsizetype reserve = 0);

protected:
    const char *m_p;
    const char *m_end;

private:
    bool hex4(uint *code);
};
