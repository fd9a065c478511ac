#pragma once

#include <QString>
#include <QStringList>
#include <cstdint>

// Deterministic generator of realistic note bodies for the benchmarks: the same seed
// always yields the same text.
namespace BenchCorpus {

// The fixed vocabulary the generated prose draws from (common words first).
const QStringList &vocabulary();

// A compact Delta JSON body of roughly targetBytes UTF-8 bytes: a heading first, then
// paragraphs with bold/italic/code/links, bullet and ordered lists, checklists with
// checked and unchecked items, and (when withTables) a few table embeds.
QString deltaBody(std::uint64_t seed, int targetBytes, bool withTables = false);

// A word outside the vocabulary that deltaBody() puts into about one body in ten
// thousand, those whose seed containsRareTerm() picks; a search for it hits a handful.
QString rareTerm();
bool containsRareTerm(std::uint64_t seed);

// A well-mixed 64-bit hash (the splitmix64 finaliser), for deriving seeds from seeds.
std::uint64_t mix(std::uint64_t value);

// The vocabulary word of the given frequency rank (0 = most common), clamped to range.
QString wordAt(int rank);

} // namespace BenchCorpus
