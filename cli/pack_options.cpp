#include "cli/pack_options.h"

#include <cctype>
#include <cstdio>
#include <cstring>

#include "reader/message_catalogue.h"

namespace cli {
namespace {

// Days from 1970-01-01 to the given civil date (proleptic Gregorian).
std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const auto yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

bool ValidDate(int y, unsigned m, unsigned d) {
  static const unsigned kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (m < 1 || m > 12 || d < 1) return false;
  const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
  return d <= kDays[m - 1] + (m == 2 && leap ? 1u : 0u);
}

// Reads "2027-01-31", "30d" and their kind front to back.
class Scanner {
 public:
  explicit Scanner(const std::string& text) : text_(text) {}
  // Exactly `count` digits (0: one to nine) into `value`.
  bool Digits(std::size_t count, std::int64_t& value) {
    std::size_t n = 0;
    value = 0;
    while (at_ < text_.size() && std::isdigit(static_cast<unsigned char>(text_[at_])) != 0 &&
           (count == 0 ? n < 9 : n < count)) {
      value = value * 10 + (text_[at_++] - '0');
      ++n;
    }
    return count == 0 ? n > 0 : n == count;
  }
  // The next character when it is one of `set`.
  bool OneOf(const char* set, char& found) {
    if (at_ >= text_.size() || std::strchr(set, text_[at_]) == nullptr) return false;
    found = text_[at_++];
    return true;
  }
  bool Skip(char c) {
    char found = 0;
    const char set[2] = {c, '\0'};
    return OneOf(set, found);
  }
  bool AtEnd() const { return at_ == text_.size(); }

 private:
  const std::string& text_;
  std::size_t at_ = 0;
};

}  // namespace

std::string Grouped(std::uint64_t n) {
  const std::string digits = std::to_string(n);
  std::string out;
  for (std::size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) out += ',';
    out += digits[i];
  }
  return out;
}

bool ParseExpiry(const std::string& text, std::int64_t now, std::int64_t& expiry, std::string& error) {
  const auto fail = [&](const std::string& why) {
    error = "--expires " + text + ": " + why;
    return false;
  };
  std::int64_t at = 0;
  std::int64_t n = 0, year = 0, month = 0, day = 0;
  char unit = 0;
  Scanner duration(text), date(text);
  if (duration.Digits(0, n) && duration.OneOf("wdh", unit) && duration.AtEnd()) {
    at = now + n * (unit == 'w' ? 7 * 86400 : unit == 'd' ? 86400 : 3600);
  } else if (date.Digits(4, year) && date.Skip('-') && date.Digits(2, month) && date.Skip('-') && date.Digits(2, day)) {
    if (!ValidDate(static_cast<int>(year), static_cast<unsigned>(month), static_cast<unsigned>(day))) {
      return fail("no such date");
    }
    at = DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) * 86400;
    char separator = 0, sign = 0;
    if (date.OneOf("T ", separator)) {
      std::int64_t hour = 0, minute = 0, second = 0, zoneHours = 0, zoneMinutes = 0;
      if (!date.Digits(2, hour) || !date.Skip(':') || !date.Digits(2, minute) ||
          (date.Skip(':') && !date.Digits(2, second))) {
        return fail("give the time as HH:MM or HH:MM:SS");
      }
      if (hour > 23 || minute > 59 || second > 59) return fail("no such time");
      at += hour * 3600 + minute * 60 + second;
      if (date.OneOf("+-", sign)) {
        if (!date.Digits(2, zoneHours) || (!date.AtEnd() && (date.Skip(':'), !date.Digits(2, zoneMinutes))) ||
            zoneHours > 23 || zoneMinutes > 59) {
          return fail("no such offset");
        }
        at -= (sign == '+' ? 1 : -1) * (zoneHours * 3600 + zoneMinutes * 60);  // 12:00+01:00 is 11:00 UTC
      } else if (!date.Skip('Z')) {
        return fail("give the time with \"Z\" or an offset such as +01:00");
      }
    }
    if (!date.AtEnd()) return fail("give a date as YYYY-MM-DD");
  } else {
    return fail("give a date (2027-01-31), a date and time with an offset (2027-01-31T12:00+01:00) or a duration "
                "(30d, 12h, 2w)");
  }
  if (at <= now) return fail(FormatUtc(at) + " is not in the future");
  if (at > kLastExpiry) {
    return fail("the format holds expiry times up to " + FormatUtc(kLastExpiry) + " (its last second means \"never\")");
  }
  expiry = at;
  return true;
}

std::string FormatUtc(std::int64_t seconds) {
  std::int64_t days = seconds / 86400;
  std::int64_t rest = seconds % 86400;
  if (rest < 0) {
    rest += 86400;
    --days;
  }
  // Civil date from days since 1970-01-01 (the inverse of DaysFromCivil).
  const std::int64_t z = days + 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const auto doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  const unsigned d = doy - (153 * mp + 2) / 5 + 1;
  const unsigned m = mp < 10 ? mp + 3 : mp - 9;
  const std::int64_t y = static_cast<std::int64_t>(yoe) + era * 400 + (m <= 2);
  char text[40];
  std::snprintf(text, sizeof text, "%04lld-%02u-%02uT%02d:%02d:%02dZ", static_cast<long long>(y), m, d,
                static_cast<int>(rest / 3600), static_cast<int>(rest / 60 % 60), static_cast<int>(rest % 60));
  return text;
}

bool PartNames::Add(const std::string& name, std::string& error) {
  constexpr std::size_t kNameField = 64;
  const auto fail = [&](const std::string& why) {
    error = "the part name \"" + name + "\" " + why;
    return false;
  };
  if (name.size() > kNameField) return fail("is longer than the 64 bytes a part name can hold");
  for (const char c : name) {
    const auto u = static_cast<unsigned char>(c);
    if (u < 0x20 || u >= 0x7F) {
      return fail("holds characters outside printable ASCII, which the format cannot carry as they are");
    }
  }
  for (const reader::NameRules rules : {reader::NameRules::Posix, reader::NameRules::Windows}) {
    const std::string kept = reader::SafePartFileName(name, rules);
    if (kept != name) return fail("would reach the reader as \"" + kept + "\"; rename the file");
  }
  if (taken_.Distinct(name) != name) return fail("is given twice (letter case aside)");
  taken_.Add(name);
  return true;
}

std::vector<std::string> ReplaceableTextKeys() {
  std::vector<std::string> keys;
  for (std::uint32_t e = 0; e < reader::MessageCatalogue::EntryCount; ++e) {
    if (const char* key = reader::MessageCatalogue::KeyOf(static_cast<reader::MessageCatalogue::Entry>(e))) {
      keys.push_back(key);
    }
  }
  return keys;
}

}  // namespace cli
