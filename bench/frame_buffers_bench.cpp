// Buffer builders against a growing std::vector doing the same appends, and the XML depth guard
// against the parse it protects, on the same generated data.
#include "bench/harness.h"
#include "frame/buffer_builder.h"
#include "frame/xml_document.h"

#include <string>
#include <vector>

namespace kwill::bench {
namespace {

// A preference file of the usual shape: a few levels, many small elements and attributes.
std::string ConfigText(size_t entries) {
    Random rng(7);
    std::string text = "<?xml version=\"1.0\" ?>\n<prefs>\n";
    for (size_t i = 0; i < entries; ++i) {
        text += "  <group id=\"" + std::to_string(rng.Below(100000)) + "\">\n";
        text += "    <item name=\"setting " + std::to_string(i) + "\" flags=\"0x1f\">value " +
                std::to_string(rng.Below(1000)) + "</item>\n";
        text += "    <!-- note -->\n  </group>\n";
    }
    return text + "</prefs>\n";
}

void Run() {
    std::vector<uint8_t> piece(100, 0x5A);
    constexpr size_t kPieces = 10000;
    double bytes = static_cast<double>(piece.size() * kPieces);
    Compare(
        "buffer builder append+copy", {Unit::MegabytesPerSecond, bytes},
        [&] {
            BufferBuilder builder;
            for (size_t i = 0; i < kPieces; ++i) builder.Append(piece.data(), piece.size());
            Keep(builder.TakeBytes());
        },
        "std::vector insert",
        [&] {
            std::vector<uint8_t> stream;
            for (size_t i = 0; i < kPieces; ++i)
                stream.insert(stream.end(), piece.begin(), piece.end());
            Keep(stream);
        });

    std::string config = ConfigText(2000);
    Compare(
        "xml nesting scan (load guard)", {Unit::MegabytesPerSecond, double(config.size())},
        [&] { Keep(XmlNestingDepth(config.c_str(), kXmlMaxNesting)); }, "TinyXML parse",
        [&] {
            TiXmlDocument doc;
            doc.Parse(config.c_str());
            Keep(doc.Error());
        });
}

const SuiteRegistrar kSuite({"frame-buffers", Run});

}  // namespace
}  // namespace kwill::bench
