#include "config/ini_reader.h"

#include <filesystem>
#include <fstream>

namespace vx {

namespace {

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsBlank(s.front()))
    s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back()))
    s.remove_suffix(1);
  return s;
}

char Lower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (Lower(a[i]) != Lower(b[i])) return false;
  }
  return true;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  c = Lower(c);
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

}  // namespace

std::optional<std::string> GetPrivateProfileText(std::string_view section, std::string_view key,
                                                 const std::string& path) {
  // Blanks around the names asked for count as little as blanks around the names in the file,
  // as the system's reader has it.
  section = Trim(section);
  key = Trim(key);
  // Only a regular file is read, whole, line by line, as the system's reader does: a pipe
  // would wait for a writer and a device might never end; such a file counts as missing.
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec)) return std::nullopt;
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  bool in_section = false;
  std::string line;
  while (std::getline(in, line)) {
    std::string_view l = Trim(line);
    if (l.empty()) continue;
    if (l.front() == '[') {
      auto close = l.find(']');
      std::string_view name =
          Trim(l.substr(1, close == std::string_view::npos ? l.size() - 1 : close - 1));
      // The first section of a name is the one that counts: the search ends where it ends.
      if (in_section) return std::nullopt;
      in_section = SameName(name, section);
      continue;
    }
    if (!in_section || l.front() == ';') continue;
    auto eq = l.find('=');
    if (eq == std::string_view::npos) continue;
    if (SameName(Trim(l.substr(0, eq)), key)) {
      std::string_view v = Trim(l.substr(eq + 1));
      // A value in single or double quotation marks loses them, as the system reads it.
      if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front()) {
        v = v.substr(1, v.size() - 2);
      }
      return std::string(v);
    }
  }
  return std::nullopt;
}

std::int32_t ParseProfileInt(std::string_view text) {
  // As the system's integer reading does it: blanks, an optional sign, then a base prefix in
  // lower case (0x hexadecimal, 0o octal, 0b binary; decimal without one) and the digits of
  // that base, letters in either case. Digits beyond 32 bits wrap.
  std::string_view t = Trim(text);
  bool negative = false;
  if (!t.empty() && (t.front() == '+' || t.front() == '-')) {
    negative = t.front() == '-';
    t.remove_prefix(1);
  }
  std::uint32_t base = 10;
  if (t.size() >= 2 && t[0] == '0' && (t[1] == 'x' || t[1] == 'o' || t[1] == 'b')) {
    base = t[1] == 'x' ? 16u : t[1] == 'o' ? 8u : 2u;
    t.remove_prefix(2);
  }
  std::uint32_t value = 0;
  for (char c : t) {
    const int digit = HexDigit(c);
    if (digit < 0 || static_cast<std::uint32_t>(digit) >= base) break;
    value = value * base + static_cast<std::uint32_t>(digit);
  }
  if (negative) value = 0u - value;
  return static_cast<std::int32_t>(value);
}

std::int32_t GetPrivateProfileInt(std::string_view section, std::string_view key,
                                  std::int32_t fallback, const std::string& path) {
  auto text = GetPrivateProfileText(section, key, path);
  if (!text || text->empty()) return fallback;
  return ParseProfileInt(*text);
}

}  // namespace vx
