#include "cli/pack_options.h"

#include <cctype>
#include <cstdio>
#include <regex>

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

int Number(const std::ssub_match& match) { return match.matched ? std::stoi(match.str()) : 0; }

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
  static const std::regex kDuration(R"(([0-9]{1,9})([wdh]))");
  static const std::regex kDateTime(
      R"(([0-9]{4})-([0-9]{2})-([0-9]{2})(?:[T ]([0-9]{2}):([0-9]{2})(?::([0-9]{2}))?(Z|[+-][0-9]{2}(?::?[0-9]{2})?)?)?)");
  std::smatch m;
  std::int64_t at = 0;
  if (std::regex_match(text, m, kDuration)) {
    const std::int64_t unit = m[2] == "w" ? 7 * 86400 : m[2] == "d" ? 86400 : 3600;
    at = now + std::stoll(m[1].str()) * unit;
  } else if (std::regex_match(text, m, kDateTime)) {
    const int year = Number(m[1]);
    const auto month = static_cast<unsigned>(Number(m[2]));
    const auto day = static_cast<unsigned>(Number(m[3]));
    if (!ValidDate(year, month, day)) {
      error = "--expires " + text + ": no such date";
      return false;
    }
    at = DaysFromCivil(year, month, day) * 86400;
    if (m[4].matched) {
      const int hour = Number(m[4]), minute = Number(m[5]), second = Number(m[6]);
      if (hour > 23 || minute > 59 || second > 59) {
        error = "--expires " + text + ": no such time";
        return false;
      }
      if (!m[7].matched) {
        error = "--expires " + text + ": give the time with \"Z\" or an offset such as +01:00";
        return false;
      }
      at += hour * 3600 + minute * 60 + second;
      const std::string zone = m[7].str();
      if (zone != "Z") {
        const std::string digits = zone.substr(1);
        const int zh = std::stoi(digits.substr(0, 2));
        const int zm = digits.size() > 2 ? std::stoi(digits.substr(digits.size() - 2)) : 0;
        if (zh > 23 || zm > 59) {
          error = "--expires " + text + ": no such offset";
          return false;
        }
        // 12:00+01:00 is 11:00 UTC.
        at -= (zone[0] == '+' ? 1 : -1) * (zh * 3600 + zm * 60);
      }
    }
  } else {
    error = "--expires " + text + ": give a date (2027-01-31), a date and time with an offset "
            "(2027-01-31T12:00+01:00) or a duration (30d, 12h, 2w)";
    return false;
  }
  if (at <= now) {
    error = "--expires " + text + ": " + FormatUtc(at) + " is not in the future";
    return false;
  }
  if (at > kLastExpiry) {
    error = "--expires " + text + ": the format holds expiry times up to " + FormatUtc(kLastExpiry) +
            " (its last second means \"never\")";
    return false;
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
