// Builds the shipped star catalogue bin8.dat from a GeoJSON list of Hipparcos stars and a table of
// proper motions.
//
// Input stars: a GeoJSON FeatureCollection of points, "id" = HIP number, "coordinates" = [RA degrees
// in -180..180, Dec degrees], "properties"."mag" = V magnitude. Proper motions: text lines
// "HIP pmRA pmDE" in milliarcseconds per year, pmRA already multiplied by cos(Dec); lines starting with
// "#" are comments. Output: headerless 12-byte little-endian records (RA - Pi, Dec, magnitude as IEEE
// singles, radians), brightest star first, stars of equal magnitude in input order.
//
// Usage: orvia_make_catalogue --stars stars.8.json --pm hip_pm.dat --out bin8.dat
//                             [--epoch 2026.0] [--source-epoch 2000.0]
#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <unordered_map>
#include <vector>

#include "base/numbers.h"
#include "sky/angles.h"

namespace {

// ---- A small JSON reader: values into a tree, numbers kept as text until asked for. ----

struct JsonValue {
  enum class Kind { Null, Bool, Number, String, Array, Object };
  Kind kind = Kind::Null;
  std::string text;  // number text or string contents
  std::vector<JsonValue> items;
  // An object's members as two lists (a pair holding this still incomplete type does not build with clang).
  std::vector<std::string> memberNames;
  std::vector<JsonValue> members;

  // Member of an object by key, or nullptr.
  const JsonValue* Find(std::string_view key) const {
    for (std::size_t i = 0; i < memberNames.size(); ++i) {
      if (memberNames[i] == key) return &members[i];
    }
    return nullptr;
  }
};

class JsonReader {
public:
  explicit JsonReader(std::string_view text) : text_(text) {}

  // Reads the whole document; false with a message on malformed input.
  bool Read(JsonValue& root, std::string& error) {
    if (!ReadValue(root, 0)) {
      error = "malformed JSON near byte " + std::to_string(pos_);
      return false;
    }
    SkipBlanks();
    if (pos_ != text_.size()) {
      error = "trailing text after JSON at byte " + std::to_string(pos_);
      return false;
    }
    return true;
  }

private:
  static constexpr int kMaxDepth = 64;

  void SkipBlanks() {
    while (pos_ < text_.size() &&
           (text_[pos_] == ' ' || text_[pos_] == '\t' || text_[pos_] == '\n' || text_[pos_] == '\r')) {
      ++pos_;
    }
  }

  bool Literal(std::string_view word) {
    if (text_.substr(pos_, word.size()) != word) return false;
    pos_ += word.size();
    return true;
  }

  bool ReadString(std::string& out) {
    if (pos_ >= text_.size() || text_[pos_] != '"') return false;
    ++pos_;
    while (pos_ < text_.size() && text_[pos_] != '"') {
      if (text_[pos_] == '\\') {
        if (++pos_ >= text_.size()) return false;
        const char c = text_[pos_];
        if (c == 'u') {
          // Escaped code points are not needed for the catalogue; keep them as a placeholder.
          if (pos_ + 4 >= text_.size()) return false;
          pos_ += 4;
          out.push_back('?');
        } else {
          out.push_back(c == 'n' ? '\n' : c == 't' ? '\t' : c == 'r' ? '\r' : c == 'b' ? '\b' : c == 'f' ? '\f' : c);
        }
        ++pos_;
      } else {
        out.push_back(text_[pos_++]);
      }
    }
    if (pos_ >= text_.size()) return false;
    ++pos_;
    return true;
  }

  bool ReadNumber(std::string& out) {
    const size_t start = pos_;
    if (pos_ < text_.size() && text_[pos_] == '-') ++pos_;
    while (pos_ < text_.size() &&
           (std::isdigit(static_cast<unsigned char>(text_[pos_])) || text_[pos_] == '.' || text_[pos_] == 'e' ||
            text_[pos_] == 'E' || text_[pos_] == '+' || text_[pos_] == '-')) {
      ++pos_;
    }
    out.assign(text_.substr(start, pos_ - start));
    return pos_ > start;
  }

  bool ReadValue(JsonValue& value, int depth) {
    if (depth > kMaxDepth) return false;
    SkipBlanks();
    if (pos_ >= text_.size()) return false;
    const char c = text_[pos_];
    if (c == '{') {
      value.kind = JsonValue::Kind::Object;
      ++pos_;
      SkipBlanks();
      if (pos_ < text_.size() && text_[pos_] == '}') {
        ++pos_;
        return true;
      }
      for (;;) {
        SkipBlanks();
        std::string key;
        if (!ReadString(key)) return false;
        SkipBlanks();
        if (pos_ >= text_.size() || text_[pos_] != ':') return false;
        ++pos_;
        value.memberNames.push_back(std::move(key));
        value.members.emplace_back();
        if (!ReadValue(value.members.back(), depth + 1)) return false;
        SkipBlanks();
        if (pos_ < text_.size() && text_[pos_] == ',') {
          ++pos_;
          continue;
        }
        if (pos_ < text_.size() && text_[pos_] == '}') {
          ++pos_;
          return true;
        }
        return false;
      }
    }
    if (c == '[') {
      value.kind = JsonValue::Kind::Array;
      ++pos_;
      SkipBlanks();
      if (pos_ < text_.size() && text_[pos_] == ']') {
        ++pos_;
        return true;
      }
      for (;;) {
        value.items.emplace_back();
        if (!ReadValue(value.items.back(), depth + 1)) return false;
        SkipBlanks();
        if (pos_ < text_.size() && text_[pos_] == ',') {
          ++pos_;
          continue;
        }
        if (pos_ < text_.size() && text_[pos_] == ']') {
          ++pos_;
          return true;
        }
        return false;
      }
    }
    if (c == '"') {
      value.kind = JsonValue::Kind::String;
      return ReadString(value.text);
    }
    if (Literal("true") || Literal("false")) {
      value.kind = JsonValue::Kind::Bool;
      return true;
    }
    if (Literal("null")) return true;
    value.kind = JsonValue::Kind::Number;
    return ReadNumber(value.text);
  }

  std::string_view text_;
  size_t pos_ = 0;
};

// ---- Catalogue building ----

struct InputStar {
  long hip = 0;
  double raDeg = 0.0;
  double decDeg = 0.0;
  double mag = 0.0;
};

struct ProperMotion {
  double pmRaCosDecMas = 0.0;  // mas/yr along the parallel
  double pmDecMas = 0.0;       // mas/yr along the meridian
};

bool ReadWholeFile(const std::filesystem::path& path, std::string& bytes) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::ostringstream buffer;
  buffer << in.rdbuf();
  bytes = buffer.str();
  return true;
}

bool IsNumber(const JsonValue* v) {
  return v != nullptr && v->kind == JsonValue::Kind::Number;
}

// Reads the star list; false with a message when the document is not a usable FeatureCollection.
bool ReadStars(const std::filesystem::path& path, std::vector<InputStar>& stars, std::string& error) {
  std::string bytes;
  if (!ReadWholeFile(path, bytes)) {
    error = "cannot read " + path.string();
    return false;
  }
  JsonValue root;
  if (!JsonReader(bytes).Read(root, error)) return false;
  const JsonValue* features = root.Find("features");
  if (features == nullptr || features->kind != JsonValue::Kind::Array) {
    error = "no \"features\" array";
    return false;
  }
  for (const JsonValue& feature : features->items) {
    const JsonValue* id = feature.Find("id");
    const JsonValue* properties = feature.Find("properties");
    const JsonValue* geometry = feature.Find("geometry");
    const JsonValue* mag = properties ? properties->Find("mag") : nullptr;
    const JsonValue* coordinates = geometry ? geometry->Find("coordinates") : nullptr;
    if (!IsNumber(id) || !IsNumber(mag) || coordinates == nullptr || coordinates->items.size() < 2 ||
        !IsNumber(&coordinates->items[0]) || !IsNumber(&coordinates->items[1])) {
      error = "feature " + std::to_string(stars.size() + 1) + " lacks id, mag or coordinates";
      return false;
    }
    InputStar star;
    star.hip = static_cast<long>(ParseNumber(id->text));
    star.raDeg = ParseNumber(coordinates->items[0].text);
    star.decDeg = ParseNumber(coordinates->items[1].text);
    star.mag = ParseNumber(mag->text);
    stars.push_back(star);
  }
  return true;
}

// Reads "HIP pmRA pmDE" lines; comment lines start with "#".
bool ReadProperMotions(const std::filesystem::path& path, std::unordered_map<long, ProperMotion>& motions,
                       std::string& error) {
  std::ifstream in(path);
  if (!in) {
    error = "cannot read " + path.string();
    return false;
  }
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == '#') continue;
    std::istringstream fields(line);
    std::string hip, pmRa, pmDec;
    if (!(fields >> hip >> pmRa >> pmDec)) continue;
    motions[static_cast<long>(ParseNumber(hip))] = {ParseNumber(pmRa), ParseNumber(pmDec)};
  }
  return true;
}

// Moves a star by its proper motion over `years` on the sphere: the motion is a vector in the tangent
// plane at the star, added to the unit position vector and renormalised, so stars near a pole behave.
void ApplyProperMotion(double& raRad, double& decRad, const ProperMotion& pm, double years) {
  const double masToRad = Pi / (180.0 * 3600.0 * 1000.0);
  const double sa = std::sin(raRad), ca = std::cos(raRad);
  const double sd = std::sin(decRad), cd = std::cos(decRad);
  const double p[3] = {cd * ca, cd * sa, sd};
  const double east[3] = {-sa, ca, 0.0};
  const double north[3] = {-sd * ca, -sd * sa, cd};
  const double mRa = pm.pmRaCosDecMas * masToRad * years;
  const double mDec = pm.pmDecMas * masToRad * years;
  double u[3];
  for (int k = 0; k < 3; ++k) u[k] = p[k] + mRa * east[k] + mDec * north[k];
  const double norm = std::sqrt(u[0] * u[0] + u[1] * u[1] + u[2] * u[2]);
  raRad = std::atan2(u[1], u[0]);
  if (raRad < 0.0) raRad += 2.0 * Pi;
  if (raRad >= 2.0 * Pi) raRad -= 2.0 * Pi;
  decRad = std::asin(std::clamp(u[2] / norm, -1.0, 1.0));
}

void PutSingle(std::string& out, float value) {
  std::uint32_t bits = 0;
  std::memcpy(&bits, &value, sizeof bits);
  for (int k = 0; k < 4; ++k) out.push_back(static_cast<char>((bits >> (8 * k)) & 0xFF));
}

// Writes the bytes to a temporary file beside the target and renames it over the target.
bool WriteAtomically(const std::filesystem::path& path, const std::string& bytes) {
  std::filesystem::path temp = path;
  temp += ".tmp";
  {
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    if (!out) return false;
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out.flush()) return false;
  }
  std::error_code ec;
  std::filesystem::rename(temp, path, ec);
  if (ec) std::filesystem::remove(temp, ec);
  return !ec;
}

int Usage() {
  std::cerr << "usage: orvia_make_catalogue --stars FILE.json --pm hip_pm.dat --out bin8.dat"
               " [--epoch 2026.0] [--source-epoch 2000.0]\n";
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  std::map<std::string, std::string> options = {{"--epoch", "2026.0"}, {"--source-epoch", "2000.0"}};
  for (int i = 1; i < argc; ++i) {
    const std::string key = argv[i];
    if (key.rfind("--", 0) != 0 || i + 1 >= argc) return Usage();
    options[key] = argv[++i];
  }
  if (!options.count("--stars") || !options.count("--pm") || !options.count("--out")) return Usage();
  const double epoch = ParseNumber(options["--epoch"]);
  const double sourceEpoch = ParseNumber(options["--source-epoch"]);
  const double years = epoch - sourceEpoch;

  std::string error;
  std::vector<InputStar> stars;
  if (!ReadStars(options["--stars"], stars, error)) {
    std::cerr << "stars: " << error << "\n";
    return 1;
  }
  std::unordered_map<long, ProperMotion> motions;
  if (!ReadProperMotions(options["--pm"], motions, error)) {
    std::cerr << "proper motions: " << error << "\n";
    return 1;
  }

  std::stable_sort(stars.begin(), stars.end(), [](const InputStar& a, const InputStar& b) {
    return static_cast<float>(a.mag) < static_cast<float>(b.mag);
  });
  std::string bytes;
  bytes.reserve(stars.size() * 12);
  size_t moved = 0;
  for (const InputStar& star : stars) {
    double ra = DegToRad(Normalize360(star.raDeg));
    double dec = DegToRad(star.decDeg);
    const auto pm = motions.find(star.hip);
    if (pm != motions.end()) {
      ApplyProperMotion(ra, dec, pm->second, years);
      ++moved;
    }
    PutSingle(bytes, static_cast<float>(ra - Pi));
    PutSingle(bytes, static_cast<float>(dec));
    PutSingle(bytes, static_cast<float>(star.mag));
  }
  if (!WriteAtomically(options["--out"], bytes)) {
    std::cerr << "cannot write " << options["--out"] << "\n";
    return 1;
  }
  std::cout << stars.size() << " stars written, " << moved << " moved from epoch" << NumberText(sourceEpoch) << " to"
            << NumberText(epoch) << "\n";
  return 0;
}
