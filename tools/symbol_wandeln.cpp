// symbol_wandeln: turns a program icon (app/symbole/*.xpm, 32x32, at most 16 colours) into the .ico
// that the Windows resources embed. A build tool: it runs on the build machine, never on Windows.
#include <array>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace {

constexpr int kante = 32;
constexpr int farben_max = 16;
// Our icons are about 1.5 KiB; anything far bigger is not one of them and is not read whole.
constexpr std::size_t datei_max = 64 * 1024;

struct Abgelehnt : std::runtime_error {
    using std::runtime_error::runtime_error;
};

struct Farbe {
    char zeichen = 0;
    bool durchsichtig = false;
    std::uint8_t rot = 0, gruen = 0, blau = 0;
};

struct Bild {
    std::vector<Farbe> palette;
    std::array<std::array<std::uint8_t, kante>, kante> pixel{};  // palette index, top row first
};

std::string datei_lesen(const char* pfad) {
    std::ifstream ein(pfad, std::ios::binary);
    if (!ein) throw Abgelehnt("cannot open the file");
    std::string text(datei_max + 1, '\0');
    ein.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<std::size_t>(ein.gcount()));
    if (text.size() > datei_max) throw Abgelehnt("larger than " + std::to_string(datei_max) + " bytes");
    return text;
}

// The strings of the C array, in order. Only what an XPM file of ours contains is accepted: the
// "/* XPM */" line, a declaration, and plain printable strings without escapes between braces.
class Zerleger {
public:
    explicit Zerleger(std::string_view text) : text_(text) {}

    std::vector<std::string> zeichenketten() {
        // Only blanks may come first: the magic line is itself a comment.
        while (pos_ < text_.size() && ist_leerraum(text_[pos_]))
            ++pos_;
        if (text_.substr(pos_, 9) != "/* XPM */") throw Abgelehnt("does not start with /* XPM */");
        pos_ += 9;
        // The declaration ("static const char* name[] = {") carries nothing we need.
        while (true) {
            zwischenraum_ueberspringen();
            if (pos_ >= text_.size()) throw Abgelehnt("no opening brace");
            const char c = text_[pos_];
            if (c == '{') break;
            if (!ist_deklarationszeichen(c))
                throw Abgelehnt(std::string("unexpected character '") + c + "' before the brace");
            ++pos_;
        }
        ++pos_;
        std::vector<std::string> ketten;
        while (true) {
            zwischenraum_ueberspringen();
            if (pos_ >= text_.size()) throw Abgelehnt("no closing brace");
            if (text_[pos_] == '}') break;
            ketten.push_back(zeichenkette());
            zwischenraum_ueberspringen();
            if (pos_ < text_.size() && text_[pos_] == ',')
                ++pos_;
            else if (pos_ >= text_.size() || text_[pos_] != '}')
                throw Abgelehnt("strings must be separated by commas");
        }
        ++pos_;
        zwischenraum_ueberspringen();
        if (pos_ >= text_.size() || text_[pos_] != ';') throw Abgelehnt("no semicolon after the closing brace");
        ++pos_;
        zwischenraum_ueberspringen();
        if (pos_ != text_.size()) throw Abgelehnt("text after the array");
        return ketten;
    }

private:
    static bool ist_deklarationszeichen(char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '*' ||
               c == '[' || c == ']' || c == '=';
    }

    static bool ist_leerraum(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

    void zwischenraum_ueberspringen() {
        while (pos_ < text_.size()) {
            if (ist_leerraum(text_[pos_])) {
                ++pos_;
            } else if (text_.substr(pos_, 2) == "/*") {
                const auto ende = text_.find("*/", pos_ + 2);
                if (ende == std::string_view::npos) throw Abgelehnt("unterminated comment");
                pos_ = ende + 2;
            } else if (text_.substr(pos_, 2) == "//") {
                const auto ende = text_.find('\n', pos_);
                pos_ = ende == std::string_view::npos ? text_.size() : ende + 1;
            } else {
                return;
            }
        }
    }

    std::string zeichenkette() {
        if (text_[pos_] != '"') throw Abgelehnt("expected a string");
        ++pos_;
        std::string kette;
        while (true) {
            if (pos_ >= text_.size()) throw Abgelehnt("unterminated string");
            const char c = text_[pos_++];
            if (c == '"') return kette;
            if (c == '\\') throw Abgelehnt("escape sequences are not supported");
            if (c < 0x20 || c > 0x7e) throw Abgelehnt("string holds a character outside printable ASCII");
            kette.push_back(c);
        }
    }

    std::string_view text_;
    std::size_t pos_ = 0;
};

std::vector<std::string_view> woerter(std::string_view zeile) {
    std::vector<std::string_view> ergebnis;
    std::size_t pos = 0;
    while (pos < zeile.size()) {
        while (pos < zeile.size() && (zeile[pos] == ' ' || zeile[pos] == '\t'))
            ++pos;
        const std::size_t anfang = pos;
        while (pos < zeile.size() && zeile[pos] != ' ' && zeile[pos] != '\t')
            ++pos;
        if (pos > anfang) ergebnis.push_back(zeile.substr(anfang, pos - anfang));
    }
    return ergebnis;
}

int zahl(std::string_view wort) {
    if (wort.empty() || wort.size() > 4) throw Abgelehnt("bad number in the values line");
    int wert = 0;
    for (const char c : wort) {
        if (c < '0' || c > '9') throw Abgelehnt("bad number in the values line");
        wert = wert * 10 + (c - '0');
    }
    return wert;
}

int hexziffer(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    throw Abgelehnt("bad hex digit in a colour");
}

bool gleich_ohne_gross_klein(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto klein = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
        if (klein(a[i]) != klein(b[i])) return false;
    }
    return true;
}

Farbe farbe_lesen(std::string_view zeile) {
    if (zeile.size() < 2 || (zeile[1] != ' ' && zeile[1] != '\t'))
        throw Abgelehnt("bad colour line \"" + std::string(zeile) + "\"");
    Farbe farbe;
    farbe.zeichen = zeile[0];
    const auto teile = woerter(zeile.substr(1));
    // Only the colour-display key: symbolic names, grey levels and other visuals have no meaning for an icon.
    if (teile.size() != 2 || teile[0] != "c")
        throw Abgelehnt("colour line \"" + std::string(zeile) + "\" is not \"<char> c <colour>\"");
    const std::string_view wert = teile[1];
    if (gleich_ohne_gross_klein(wert, "None")) {
        farbe.durchsichtig = true;
    } else if (wert.size() == 7 && wert[0] == '#') {
        const auto byte = [&](std::size_t i) {
            return static_cast<std::uint8_t>(hexziffer(wert[i]) * 16 + hexziffer(wert[i + 1]));
        };
        farbe.rot = byte(1);
        farbe.gruen = byte(3);
        farbe.blau = byte(5);
    } else {
        throw Abgelehnt("colour \"" + std::string(wert) + "\" is neither #RRGGBB nor None");
    }
    return farbe;
}

Bild xpm_lesen(std::string_view text) {
    const auto ketten = Zerleger(text).zeichenketten();
    if (ketten.empty()) throw Abgelehnt("no values line");
    const auto werte = woerter(ketten[0]);
    // Four values exactly: a hotspot or the XPMEXT marker would bring parts this tool does not read.
    if (werte.size() != 4) throw Abgelehnt("values line must be \"width height colours 1\"");
    const int breite = zahl(werte[0]), hoehe = zahl(werte[1]), farben = zahl(werte[2]), je_pixel = zahl(werte[3]);
    if (breite != kante || hoehe != kante) throw Abgelehnt("image is not 32x32");
    if (je_pixel != 1) throw Abgelehnt("only one character per pixel is supported");
    if (farben < 1 || farben > farben_max) throw Abgelehnt("between 1 and 16 colours are supported");
    if (ketten.size() != 1 + static_cast<std::size_t>(farben) + kante)
        throw Abgelehnt("expected " + std::to_string(1 + farben + kante) + " strings, found " +
                        std::to_string(ketten.size()));

    Bild bild;
    std::array<int, 128> index_von{};
    index_von.fill(-1);
    for (int i = 0; i < farben; ++i) {
        const Farbe farbe = farbe_lesen(ketten[1 + i]);
        auto& index = index_von[static_cast<unsigned char>(farbe.zeichen)];
        if (index >= 0) throw Abgelehnt(std::string("colour character '") + farbe.zeichen + "' defined twice");
        index = i;
        bild.palette.push_back(farbe);
    }
    for (int y = 0; y < kante; ++y) {
        const std::string& zeile = ketten[1 + farben + y];
        if (zeile.size() != kante) throw Abgelehnt("pixel row " + std::to_string(y + 1) + " is not 32 characters long");
        for (int x = 0; x < kante; ++x) {
            const int index = index_von[static_cast<unsigned char>(zeile[x])];
            if (index < 0) throw Abgelehnt(std::string("pixel character '") + zeile[x] + "' has no colour");
            bild.pixel[y][x] = static_cast<std::uint8_t>(index);
        }
    }
    return bild;
}

void wort_anhaengen(std::vector<std::uint8_t>& aus, std::uint16_t wert) {
    aus.push_back(static_cast<std::uint8_t>(wert));
    aus.push_back(static_cast<std::uint8_t>(wert >> 8));
}

void doppelwort_anhaengen(std::vector<std::uint8_t>& aus, std::uint32_t wert) {
    for (int i = 0; i < 4; ++i)
        aus.push_back(static_cast<std::uint8_t>(wert >> (8 * i)));
}

// One image: the 4-bit colour bitmap, then the 1-bit mask, both bottom row first and each row
// padded to 32 bits (a 32-pixel row needs no padding at either depth).
std::vector<std::uint8_t> ico_bauen(const Bild& bild) {
    constexpr std::uint32_t kopf = 40, palette = farben_max * 4, farbbild = kante * kante / 2,
                            maske = kante * kante / 8;
    constexpr std::uint32_t bild_bytes = kopf + palette + farbbild + maske;
    std::vector<std::uint8_t> aus;
    aus.reserve(6 + 16 + bild_bytes);

    wort_anhaengen(aus, 0);  // ICONDIR
    wort_anhaengen(aus, 1);
    wort_anhaengen(aus, 1);
    aus.push_back(kante);  // ICONDIRENTRY
    aus.push_back(kante);
    aus.push_back(farben_max);
    aus.push_back(0);
    wort_anhaengen(aus, 1);
    wort_anhaengen(aus, 4);
    doppelwort_anhaengen(aus, bild_bytes);
    doppelwort_anhaengen(aus, 6 + 16);

    doppelwort_anhaengen(aus, kopf);  // BITMAPINFOHEADER; the height counts colour bitmap and mask
    doppelwort_anhaengen(aus, kante);
    doppelwort_anhaengen(aus, 2 * kante);
    wort_anhaengen(aus, 1);
    wort_anhaengen(aus, 4);
    doppelwort_anhaengen(aus, 0);
    doppelwort_anhaengen(aus, farbbild + maske);
    doppelwort_anhaengen(aus, 0);
    doppelwort_anhaengen(aus, 0);
    doppelwort_anhaengen(aus, 0);
    doppelwort_anhaengen(aus, 0);

    // Transparent entries stay black: the screen keeps its pixel under a set mask bit and XORs it
    // with the colour, and only black leaves it unchanged.
    for (std::size_t i = 0; i < farben_max; ++i) {
        const Farbe f = i < bild.palette.size() ? bild.palette[i] : Farbe{};
        aus.push_back(f.durchsichtig ? 0 : f.blau);
        aus.push_back(f.durchsichtig ? 0 : f.gruen);
        aus.push_back(f.durchsichtig ? 0 : f.rot);
        aus.push_back(0);
    }
    for (int y = kante - 1; y >= 0; --y) {
        for (int x = 0; x < kante; x += 2)
            aus.push_back(static_cast<std::uint8_t>(bild.pixel[y][x] << 4 | bild.pixel[y][x + 1]));
    }
    for (int y = kante - 1; y >= 0; --y) {
        for (int x = 0; x < kante; x += 8) {
            std::uint8_t bits = 0;
            for (int b = 0; b < 8; ++b) {
                if (bild.palette[bild.pixel[y][x + b]].durchsichtig) bits |= static_cast<std::uint8_t>(0x80 >> b);
            }
            aus.push_back(bits);
        }
    }
    return aus;
}

// Written beside the target and renamed over it, so a failed run never leaves half an icon for the build to take.
void ico_schreiben(const std::string& pfad, const std::vector<std::uint8_t>& daten) {
    const std::string vorlaeufig = pfad + ".neu";
    {
        std::ofstream aus(vorlaeufig, std::ios::binary | std::ios::trunc);
        aus.write(reinterpret_cast<const char*>(daten.data()), static_cast<std::streamsize>(daten.size()));
        aus.close();
        if (!aus) {
            std::remove(vorlaeufig.c_str());
            throw std::runtime_error("cannot write " + vorlaeufig);
        }
    }
    if (std::rename(vorlaeufig.c_str(), pfad.c_str()) != 0) {
        std::remove(vorlaeufig.c_str());
        throw std::runtime_error("cannot rename " + vorlaeufig + " to " + pfad);
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: symbol_wandeln ICON.xpm ICON.ico\n");
        return 2;
    }
    Bild bild;
    try {
        bild = xpm_lesen(datei_lesen(argv[1]));
    } catch (const std::exception& e) {
        std::fprintf(stderr, "symbol_wandeln: %s: %s\n", argv[1], e.what());
        return 1;
    }
    try {
        ico_schreiben(argv[2], ico_bauen(bild));
    } catch (const std::exception& e) {
        std::fprintf(stderr, "symbol_wandeln: %s\n", e.what());
        return 1;
    }
    return 0;
}
