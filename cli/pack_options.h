#pragma once
// The sender's choices checked and turned into what the document stores:
// expiry times, part names and the texts a document may replace.

#include <cstdint>
#include <string>
#include <vector>

#include "reader/part_file_name.h"

namespace cli {

// A count with thousands separated: "1,234,567".
std::string Grouped(std::uint64_t n);

// The last expiry the format can hold: the field is signed 32-bit seconds,
// and its largest value, 0x7FFFFFFF, means "never".
inline constexpr std::int64_t kLastExpiry = 0x7FFFFFFE;

// An expiry as seconds since 1970 UTC from "2027-01-31" (the start of that
// day, UTC), "2027-01-31T12:00:00+01:00" (ISO 8601 with "Z" or an offset;
// seconds may be left out; " " may stand for "T") or a duration after `now`:
// a number followed by "w", "d" or "h" ("30d", "12h"). False, with the
// reason, for anything else, a time not after `now`, or one past kLastExpiry.
bool ParseExpiry(const std::string& text, std::int64_t now, std::int64_t& expiry, std::string& error);

// "2027-01-31T00:00:00Z".
std::string FormatUtc(std::int64_t seconds);

// Checks the part names of a document as they are added: each must fit the
// 64-byte field, be plain printable ASCII (the format holds names in a
// single-byte character set), be kept unchanged by the reader on every
// system, and differ from every earlier name also in letter case (the
// reader on Windows would rename a second "Report.pdf" beside "report.pdf").
class PartNames {
 public:
  // False, with the reason, when `name` cannot be a part's name here.
  bool Add(const std::string& name, std::string& error);

 private:
  reader::PartFileNames taken_{reader::NameRules::Windows};
};

// The keys of the catalogue entries a document may replace, in catalogue
// order ("CantCreateTempFile", ..., "OutOfMemory").
std::vector<std::string> ReplaceableTextKeys();

}  // namespace cli
