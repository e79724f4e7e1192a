// Orbit Mean-Elements Messages: telling the input form by content, reading CSV, XML and JSON records,
// and writing each record as the columns of its two-line set.

#include "satdb/omm.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <pugixml.hpp>
#include <string_view>

#include "base/calendar.h"
#include "base/numbers.h"
#include "satdb/satdb.h"
#include "satdb/text_fields.h"

namespace {

// One message record: keyword -> value text; absent keywords are not in the map.
using OmmFields = std::map<std::string, std::string>;

bool ToTwoLine(const OmmFields& record, OmmSet& set, std::string& cause);

constexpr std::string_view kKeywords[] = {"CCSDS_OMM_VERS",
                                          "COMMENT",
                                          "CLASSIFICATION",
                                          "CREATION_DATE",
                                          "ORIGINATOR",
                                          "MESSAGE_ID",
                                          "OBJECT_NAME",
                                          "OBJECT_ID",
                                          "CENTER_NAME",
                                          "REF_FRAME",
                                          "REF_FRAME_EPOCH",
                                          "TIME_SYSTEM",
                                          "MEAN_ELEMENT_THEORY",
                                          "EPOCH",
                                          "SEMI_MAJOR_AXIS",
                                          "MEAN_MOTION",
                                          "ECCENTRICITY",
                                          "INCLINATION",
                                          "RA_OF_ASC_NODE",
                                          "ARG_OF_PERICENTER",
                                          "MEAN_ANOMALY",
                                          "GM",
                                          "MASS",
                                          "SOLAR_RAD_AREA",
                                          "SOLAR_RAD_COEFF",
                                          "DRAG_AREA",
                                          "DRAG_COEFF",
                                          "EPHEMERIS_TYPE",
                                          "CLASSIFICATION_TYPE",
                                          "NORAD_CAT_ID",
                                          "ELEMENT_SET_NO",
                                          "REV_AT_EPOCH",
                                          "BSTAR",
                                          "BTERM",
                                          "MEAN_MOTION_DOT",
                                          "MEAN_MOTION_DDOT",
                                          "AGOM",
                                          "COV_REF_FRAME"};

constexpr std::string_view kMandatory[] = {"EPOCH",        "MEAN_MOTION",    "ECCENTRICITY",
                                           "INCLINATION",  "RA_OF_ASC_NODE", "ARG_OF_PERICENTER",
                                           "MEAN_ANOMALY", "NORAD_CAT_ID",   "BSTAR"};

// True for the message's standard keywords, its covariance terms (CX_X .. CZ_DOT_Z_DOT) and
// user-defined parameters.
bool IsKnownKeyword(std::string_view key) {
  if (std::find(std::begin(kKeywords), std::end(kKeywords), key) != std::end(kKeywords)) return true;
  if (StartsWith(key, "USER_DEFINED")) return true;
  constexpr std::string_view axes[] = {"X", "Y", "Z", "X_DOT", "Y_DOT", "Z_DOT"};
  for (std::string_view a : axes)
    for (std::string_view b : axes)
      if (key == "C" + std::string(a) + "_" + std::string(b)) return true;
  return false;
}

std::string_view Trim(std::string_view text) {
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front()))) text.remove_prefix(1);
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) text.remove_suffix(1);
  return text;
}

// A keyword or value as a message quotes it: control characters shown as "?", cut to 40 bytes.
std::string Quoted(std::string_view text) {
  std::string quoted(text.substr(0, 40));
  for (char& c : quoted)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
  return "«" + quoted + (text.size() > 40 ? "…»" : "»");
}

// "запись N: " of a message about the N-th record (from 1).
std::string RecordPrefix(std::size_t index) {
  return "запись " + FormatNumber(static_cast<double>(index + 1), "0") + ": ";
}

// Skips a UTF-8 byte-order mark and leading white space.
std::string_view Content(std::string_view text) {
  if (StartsWith(text, "\xEF\xBB\xBF")) text.remove_prefix(3);
  return Trim(text);
}

// A value that is a whole decimal number (sign, digits, point, exponent), read by ParseNumber.
std::optional<double> StrictNumber(std::string_view text) {
  text = Trim(text);
  const bool hasDigit = std::any_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
  const bool allNumeric = std::all_of(text.begin(), text.end(), [](char c) {
    return (c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.' || c == 'e' || c == 'E';
  });
  if (!hasDigit || !allNumeric) return std::nullopt;
  const double value = ParseNumber(text);
  return std::isfinite(value) ? std::optional<double>(value) : std::nullopt;
}

// Splits one CSV line at commas; a field in double quotes may hold commas and doubled quotes.
std::vector<std::string> CsvFields(std::string_view line) {
  std::vector<std::string> fields(1);
  bool quoted = false;
  for (std::size_t i = 0; i < line.size(); ++i) {
    const char c = line[i];
    if (quoted) {
      if (c == '"' && i + 1 < line.size() && line[i + 1] == '"') {
        fields.back() += '"';
        ++i;
      } else if (c == '"') {
        quoted = false;
      } else {
        fields.back() += c;
      }
    } else if (c == '"') {
      quoted = true;
    } else if (c == ',') {
      fields.emplace_back();
    } else {
      fields.back() += c;
    }
  }
  for (std::string& f : fields) f = std::string(Trim(f));
  return fields;
}

bool ReadCsv(std::string_view text, std::vector<OmmFields>& records, std::string& cause) {
  const std::vector<std::string_view> lines = SplitLines(Content(text));
  if (lines.empty()) return false;
  const std::vector<std::string> header = CsvFields(lines[0]);
  for (std::size_t i = 1; i < lines.size(); ++i) {
    if (Trim(lines[i]).empty()) continue;
    const std::vector<std::string> values = CsvFields(lines[i]);
    const std::string at = "строка " + FormatNumber(static_cast<double>(i + 1), "0") + ": ";
    if (values.size() != header.size()) {
      cause = at + "полей " + FormatNumber(static_cast<double>(values.size()), "0") + ", а в заголовке " +
              FormatNumber(static_cast<double>(header.size()), "0");
      return false;
    }
    OmmFields record;
    for (std::size_t k = 0; k < header.size(); ++k) {
      if (!IsKnownKeyword(header[k])) {
        cause = "строка 1: неизвестное ключевое слово " + Quoted(header[k]);
        return false;
      }
      if (!values[k].empty()) record[header[k]] = values[k];
    }
    records.push_back(std::move(record));
  }
  return true;
}

// The deepest nesting of elements in a document, found by walking the tree without recursion.
int XmlDepth(const pugi::xml_node& root) {
  int depth = 0, deepest = 0;
  pugi::xml_node node = root.first_child();
  while (node) {
    deepest = std::max(deepest, depth + 1);
    if (node.first_child()) {
      node = node.first_child();
      ++depth;
      continue;
    }
    while (node && !node.next_sibling()) {
      node = node.parent();
      --depth;
      if (node == root) node = pugi::xml_node();
    }
    if (node) node = node.next_sibling();
  }
  return deepest;
}

// Collects the keyword elements (elements without child elements) below a node, in document order,
// walking the tree without recursion (the document's depth is bounded before).
bool CollectXmlFields(const pugi::xml_node& segment, OmmFields& record, std::string& cause) {
  std::vector<pugi::xml_node> pending;
  for (pugi::xml_node child = segment.last_child(); child; child = child.previous_sibling()) pending.push_back(child);
  while (!pending.empty()) {
    const pugi::xml_node node = pending.back();
    pending.pop_back();
    if (node.type() != pugi::node_element) continue;
    if (node.find_child([](pugi::xml_node n) { return n.type() == pugi::node_element; })) {
      for (pugi::xml_node child = node.last_child(); child; child = child.previous_sibling()) pending.push_back(child);
      continue;
    }
    const std::string key = node.name();
    if (!IsKnownKeyword(key)) {
      cause = "неизвестное ключевое слово " + Quoted(key);
      return false;
    }
    const std::string value(Trim(node.child_value()));
    if (key != "COMMENT" && !StartsWith(key, "USER_DEFINED") && !value.empty()) record[key] = value;
  }
  return true;
}

bool ReadXml(std::string_view text, std::vector<OmmFields>& records, std::string& cause) {
  pugi::xml_document doc;
  const pugi::xml_parse_result parsed = doc.load_buffer(text.data(), text.size());
  if (!parsed) {
    cause = "текст XML не разбирается (около байта " + FormatNumber(static_cast<double>(parsed.offset), "0") + ")";
    return false;
  }
  if (XmlDepth(doc) > kMaxOmmDepth) {
    cause = "вложенность элементов XML больше " + FormatNumber(kMaxOmmDepth, "0") + " уровней";
    return false;
  }
  const pugi::xpath_node_set segments = doc.select_nodes("//segment");
  if (segments.empty()) {
    cause = "в сообщении нет элементов segment";
    return false;
  }
  for (const pugi::xpath_node& segment : segments) {
    OmmFields record;
    std::string why;
    if (!CollectXmlFields(segment.node(), record, why)) {
      cause = RecordPrefix(records.size()) + why;
      return false;
    }
    records.push_back(std::move(record));
  }
  return true;
}

// The deepest nesting of JSON arrays and objects in a text, counted over its brackets outside strings
// without parsing (so without recursion or memory).
int JsonDepth(std::string_view text) {
  int depth = 0, deepest = 0;
  bool inString = false, escaped = false;
  for (const char c : text) {
    if (inString) {
      if (escaped)
        escaped = false;
      else if (c == '\\')
        escaped = true;
      else if (c == '"')
        inString = false;
    } else if (c == '"') {
      inString = true;
    } else if (c == '[' || c == '{') {
      deepest = std::max(deepest, ++depth);
    } else if ((c == ']' || c == '}') && depth > 0) {
      --depth;
    }
  }
  return deepest;
}

// A JSON message read as it is parsed, record by record, so that no tree of the whole text is ever held:
// the top level is one object or an array of objects, and each object's values are strings, numbers or
// null. Every record is handed to take as soon as it is closed.
class JsonRecords : public nlohmann::json_sax<nlohmann::json> {
public:
  using Take = std::function<bool(const OmmFields&, std::string&)>;
  JsonRecords(std::size_t& index, Take take) : index_(index), take_(std::move(take)) {}
  std::string cause;

  bool null() override { return Value(std::string()); }
  bool boolean(bool) override { return NotText(); }
  bool number_integer(number_integer_t v) override { return Value(nlohmann::json(v).dump()); }
  bool number_unsigned(number_unsigned_t v) override { return Value(nlohmann::json(v).dump()); }
  bool number_float(number_float_t v, const string_t&) override { return Value(nlohmann::json(v).dump()); }
  bool string(string_t& v) override { return Value(v); }
  bool binary(binary_t&) override { return NotText(); }
  bool start_object(std::size_t) override {
    if (inRecord_) return NotText();
    if (depth_++ > (topArray_ ? 1 : 0)) return NotObject();
    inRecord_ = true;
    record_.clear();
    return true;
  }
  bool key(string_t& k) override {
    if (!IsKnownKeyword(k)) return Fail("неизвестное ключевое слово " + Quoted(k));
    key_ = k;
    return true;
  }
  bool end_object() override {
    --depth_;
    inRecord_ = false;
    std::string why;
    if (!take_(record_, why)) return Fail(why);
    ++index_;
    return true;
  }
  bool start_array(std::size_t) override {
    if (inRecord_) return NotText();
    if (depth_++ > 0) return NotObject();
    topArray_ = true;
    return true;
  }
  bool end_array() override {
    --depth_;
    return true;
  }
  bool parse_error(std::size_t position, const std::string&, const nlohmann::detail::exception&) override {
    cause = "текст JSON не разбирается (около байта " + FormatNumber(static_cast<double>(position), "0") + ")";
    return false;
  }

private:
  bool Fail(const std::string& why) {
    cause = RecordPrefix(index_) + why;
    return false;
  }
  bool NotObject() { return Fail("не объект JSON"); }
  bool NotText() { return Fail("значение " + Quoted(key_) + " не строка и не число"); }
  // A value of the open record ("" for null: the keyword counts as absent, as does an empty text).
  bool Value(const std::string& text) {
    if (!inRecord_) return NotObject();
    if (text.empty())
      record_.erase(key_);
    else
      record_[key_] = text;
    return true;
  }

  std::size_t& index_;
  Take take_;
  OmmFields record_;
  std::string key_;
  int depth_ = 0;
  bool topArray_ = false;
  bool inRecord_ = false;
};

bool ReadJson(std::string_view text, const JsonRecords::Take& take, std::size_t& index, std::string& cause) {
  if (JsonDepth(text) > kMaxOmmDepth) {
    cause = "вложенность JSON больше " + FormatNumber(kMaxOmmDepth, "0") + " уровней";
    return false;
  }
  JsonRecords records(index, take);
  bool parsed = false;
  try {
    parsed = nlohmann::json::sax_parse(text.begin(), text.end(), &records);
  } catch (const nlohmann::json::exception&) {
    parsed = false;
  }
  if (!parsed) cause = records.cause.empty() ? std::string("текст JSON не разбирается") : records.cause;
  return parsed;
}

// Right-aligns a text in a field of the width; false when it does not fit.
bool PadLeft(const std::string& text, std::size_t width, std::string& out) {
  if (text.size() > width) return false;
  out += std::string(width - text.size(), ' ') + text;
  return true;
}

// A number with fixed decimals right-aligned in a field ("51.6416" in 8 columns).
bool FixedField(double value, std::string_view pattern, std::size_t width, std::string& out) {
  return PadLeft(FileDecimal(value, pattern), width, out);
}

// An assumed-decimal field with exponent, " 29756-3" for 0.29756e-3: sign, five digits, the exponent's
// sign and digit. Values below 1e-10 are written as zero, " 00000+0".
bool ExponentField(double value, std::string& out) {
  const double magnitude = std::fabs(value);
  long long mantissa = 0;
  int exponent = 0;
  if (magnitude >= 1e-10) {
    exponent = static_cast<int>(std::floor(std::log10(magnitude))) + 1;
    for (int attempt = 0; attempt < 3; ++attempt) {
      mantissa = std::llround(magnitude * std::pow(10.0, 5 - exponent));
      if (mantissa >= 100000) {
        ++exponent;
      } else if (mantissa < 10000) {
        --exponent;
      } else {
        break;
      }
    }
    if (mantissa == 100000) mantissa = 10000;
    if (exponent > 9) return false;
  }
  const bool negative = value < 0 && mantissa != 0;
  out += negative ? "-" : " ";
  out += FormatNumber(static_cast<double>(mantissa), "00000");
  out += exponent < 0 ? "-" : "+";
  out += FormatNumber(std::abs(exponent), "0");
  return true;
}

// The two-line epoch field YYDDD.DDDDDDDD of an epoch "YYYY-MM-DDThh:mm:ss.ffffff" (or "YYYY-DDDThh:mm:ss",
// an optional "Z" after it), years 1961 to 2060 as the database's epoch keys read them.
bool EpochField(std::string_view text, std::string& out) {
  text = Trim(text);
  if (!text.empty() && (text.back() == 'Z' || text.back() == 'z')) text.remove_suffix(1);
  const std::size_t t = text.find('T');
  if (t == std::string_view::npos) return false;
  const std::string_view date = text.substr(0, t), time = text.substr(t + 1);
  const auto number = [](std::string_view s, std::size_t size) -> std::optional<int> {
    if (s.size() != size || !std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; }))
      return std::nullopt;
    return RoundToInt(ParseNumber(s));
  };
  const std::optional<int> year = number(date.substr(0, 4), 4);
  if (!year || date.size() < 5 || date[4] != '-') return false;
  int dayOfYear = 0;
  if (date.size() == 8) {
    const std::optional<int> day = number(date.substr(5), 3);
    if (!day) return false;
    dayOfYear = *day;
  } else {
    const std::optional<int> month = number(date.substr(5, 2), 2);
    const std::optional<int> day = date.size() == 10 && date[7] == '-' ? number(date.substr(8), 2) : std::nullopt;
    if (!month || !day || *month < 1 || *month > 12 || *day < 1 || *day > DaysInMonth(*year, *month)) return false;
    dayOfYear = static_cast<int>(std::lround(MjdFromDate(*year, *month, *day, 0) - MjdFromDate(*year, 1, 0, 0)));
  }
  const int daysInYear = IsLeapYear(*year) ? 366 : 365;
  if (dayOfYear < 1 || dayOfYear > daysInYear || time.size() < 8 || time[2] != ':' || time[5] != ':') return false;
  const std::optional<int> hours = number(time.substr(0, 2), 2), minutes = number(time.substr(3, 2), 2);
  const std::optional<double> seconds = StrictNumber(time.substr(6));
  if (!hours || !minutes || !seconds || *hours > 23 || *minutes > 59 || *seconds < 0 || *seconds >= 61) return false;
  // The fraction of the day in units of 1e-8 day, carried into the day and the year when it rounds up.
  long long units = std::llround((*hours * 3600.0 + *minutes * 60.0 + *seconds) / 86400.0 * 1e8);
  int y = *year, d = dayOfYear;
  if (units >= 100000000) {
    units -= 100000000;
    if (++d > daysInYear) {
      d = 1;
      ++y;
    }
  }
  if (y < 1961 || y > 2060) return false;
  out +=
      FormatNumber(y % 100, "00") + FormatNumber(d, "000") + "." + FormatNumber(static_cast<double>(units), "00000000");
  return true;
}

// Columns 3-7 of both lines: five digits, or Alpha-5 (a letter for 10..33 without I and O, then four digits).
std::string CatalogField(long long number) {
  if (number < 100000) return FormatNumber(static_cast<double>(number), "00000");
  constexpr std::string_view letters = "ABCDEFGHJKLMNPQRSTUVWXYZ";
  return std::string(1, letters[static_cast<std::size_t>(number / 10000 - 10)]) +
         FormatNumber(static_cast<double>(number % 10000), "0000");
}

// Columns 10-17 of line 1 from an OBJECT_ID "1998-067A": "98067A  "; blanks for any other form.
std::string DesignatorField(const OmmFields& record) {
  const auto it = record.find("OBJECT_ID");
  std::string field;
  if (it != record.end()) {
    const std::string& id = it->second;
    const bool form = id.size() >= 9 && id.size() <= 11 && id[4] == '-' &&
                      std::all_of(id.begin(), id.begin() + 4, ::isdigit) &&
                      std::all_of(id.begin() + 5, id.begin() + 8, ::isdigit);
    if (form) field = id.substr(2, 2) + id.substr(5, 3) + id.substr(8);
  }
  return field + std::string(8 - field.size(), ' ');
}

std::string WithChecksum(std::string line) {
  line += static_cast<char>('0' + TwoLineChecksum(line));
  return line;
}

// The two-line set of one record; false when a value is missing, not a number or outside its columns, with
// the cause for the user.
bool ToTwoLine(const OmmFields& record, OmmSet& set, std::string& cause) {
  for (std::string_view key : kMandatory) {
    if (!record.count(std::string(key))) {
      cause = "нет обязательного ключевого слова " + Quoted(key);
      return false;
    }
  }
  const auto text = [&record](const char* key, const char* fallback) {
    const auto it = record.find(key);
    return it == record.end() ? std::string(fallback) : it->second;
  };
  std::string theory = text("MEAN_ELEMENT_THEORY", "SGP4");
  std::transform(theory.begin(), theory.end(), theory.begin(), ::toupper);
  if (Trim(theory) != "SGP4") {
    cause = "теория средних элементов " + Quoted(theory) + ", а не SGP4";
    return false;
  }

  const std::optional<double> number = StrictNumber(text("NORAD_CAT_ID", ""));
  if (!number || *number < 0 || *number != std::floor(*number) || *number > 1e12) {
    cause = "значение «NORAD_CAT_ID» = " + Quoted(text("NORAD_CAT_ID", "")) + " не номер ИСЗ";
    return false;
  }
  set.name = text("OBJECT_NAME", "");
  set.catalogNumber = static_cast<long long>(*number);

  std::optional<double> v[12];
  const char* numeric[12] = {"MEAN_MOTION",       "ECCENTRICITY",   "INCLINATION",    "RA_OF_ASC_NODE",
                             "ARG_OF_PERICENTER", "MEAN_ANOMALY",   "BSTAR",          "MEAN_MOTION_DOT",
                             "MEAN_MOTION_DDOT",  "EPHEMERIS_TYPE", "ELEMENT_SET_NO", "REV_AT_EPOCH"};
  const char* fallback[12] = {"", "", "", "", "", "", "", "0", "0", "0", "999", "0"};
  for (int i = 0; i < 12; ++i) {
    if (!(v[i] = StrictNumber(text(numeric[i], fallback[i])))) {
      cause = std::string("значение «") + numeric[i] + "» = " + Quoted(text(numeric[i], fallback[i])) + " не число";
      return false;
    }
  }
  const double meanMotion = *v[0], eccentricity = *v[1], ndot = *v[7];
  const long long eccentricityDigits = std::llround(eccentricity * 1e7);
  const std::string classification = text("CLASSIFICATION_TYPE", "U");
  if (meanMotion <= 0 || eccentricityDigits < 0 || eccentricityDigits > 9999999 || std::fabs(ndot) >= 0.999999995 ||
      *v[9] < 0 || *v[9] > 9 || *v[10] < 0 || *v[11] < 0 || classification.size() != 1) {
    cause =
        "значение не помещается в поля TLE (MEAN_MOTION, ECCENTRICITY, MEAN_MOTION_DOT, EPHEMERIS_TYPE, "
        "ELEMENT_SET_NO, REV_AT_EPOCH или CLASSIFICATION_TYPE)";
    return false;
  }

  set.fitsTwoLine = set.catalogNumber < 340000;
  if (!set.fitsTwoLine) return true;
  const std::string catalog = CatalogField(set.catalogNumber);

  std::string line1 = "1 " + catalog + classification + " " + DesignatorField(record) + " ";
  if (!EpochField(text("EPOCH", ""), line1)) {
    cause = "значение «EPOCH» = " + Quoted(text("EPOCH", "")) + " не дата 1961-2060";
    return false;
  }
  std::string ndotText = FileDecimal(std::fabs(ndot), "0.00000000").substr(1);
  line1 += " " + std::string(ndot < 0 && ndotText != ".00000000" ? "-" : " ") + ndotText + " ";
  if (!ExponentField(*v[8], line1)) {
    cause = "значение «MEAN_MOTION_DDOT» не помещается в поле TLE";
    return false;
  }
  line1 += " ";
  if (!ExponentField(*v[6], line1)) {
    cause = "значение «BSTAR» не помещается в поле TLE";
    return false;
  }
  line1 += " " + FormatNumber(*v[9], "0") + " ";
  PadLeft(FormatNumber(std::fmod(*v[10], 10000.0), "0"), 4, line1);

  std::string line2 = "2 " + catalog;
  bool fits = true;
  const auto field = [&line2, &fits](double value, std::string_view pattern, std::size_t width) {
    line2 += " ";
    fits = fits && FixedField(value, pattern, width, line2);
  };
  field(*v[2], "0.0000", 8);
  field(*v[3], "0.0000", 8);
  line2 += " " + FormatNumber(static_cast<double>(eccentricityDigits), "0000000");
  field(*v[4], "0.0000", 8);
  field(*v[5], "0.0000", 8);
  field(meanMotion, "0.00000000", 11);
  fits = fits && PadLeft(FormatNumber(std::fmod(*v[11], 100000.0), "0"), 5, line2);
  if (!fits || line1.size() != 68 || line2.size() != 68) {
    cause = "угол, среднее движение или номер витка не помещается в поле TLE";
    return false;
  }
  set.line1 = WithChecksum(line1);
  set.line2 = WithChecksum(line2);
  return true;
}

}  // namespace

ElementInputForm ElementInputFormOf(std::string_view text) {
  const std::string_view content = Content(text);
  if (StartsWith(content, "[") || StartsWith(content, "{")) return ElementInputForm::OmmJson;
  // A download may also begin with an HTML error page before its two-line sets.
  if (StartsWith(content, "<") && content.find("<omm") != std::string_view::npos) return ElementInputForm::OmmXml;
  const std::vector<std::string_view> lines = SplitLines(content);
  if (!lines.empty() && lines[0].find(',') != std::string_view::npos) {
    const std::vector<std::string> header = CsvFields(lines[0]);
    const bool keywords = std::all_of(header.begin(), header.end(), [](const std::string& f) {
      return !f.empty() && std::all_of(f.begin(), f.end(), [](char c) {
        return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
      });
    });
    if (keywords && std::find(header.begin(), header.end(), "EPOCH") != header.end()) return ElementInputForm::OmmCsv;
  }
  return ElementInputForm::TwoLine;
}

bool ReadOmmText(std::string_view text, ElementInputForm form, std::vector<OmmSet>& sets, std::string* cause) {
  sets.clear();
  std::vector<OmmFields> records;
  bool read = false;
  std::string why;
  switch (form) {
    case ElementInputForm::OmmCsv:
      read = ReadCsv(text, records, why);
      break;
    case ElementInputForm::OmmXml:
      read = ReadXml(text, records, why);
      break;
    case ElementInputForm::OmmJson: {
      // Each record becomes its set as soon as it is read: a large message never stands as a tree.
      std::size_t index = 0;
      const auto take = [&sets](const OmmFields& record, std::string& cause) {
        OmmSet set;
        if (!ToTwoLine(record, set, cause)) return false;
        sets.push_back(std::move(set));
        return true;
      };
      read = ReadJson(text, take, index, why);
      break;
    }
    case ElementInputForm::TwoLine:
      break;
  }
  const auto refuse = [&sets, cause](std::string text) {
    sets.clear();
    if (cause) *cause = "сообщение OMM не читается: " + (text.empty() ? std::string("неверный формат") : text) + ".";
    return false;
  };
  if (!read) return refuse(why);
  for (std::size_t i = 0; i < records.size(); ++i) {
    OmmSet set;
    if (!ToTwoLine(records[i], set, why)) return refuse(RecordPrefix(i) + why);
    sets.push_back(std::move(set));
  }
  return true;
}

int TwoLineChecksum(std::string_view line) {
  int sum = 0;
  for (char c : line.substr(0, 68)) {
    if (c >= '0' && c <= '9') sum += c - '0';
    if (c == '-') ++sum;
  }
  return sum % 10;
}
