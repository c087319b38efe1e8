// Feeds random input to the loaders of persisted properties and to the registry
// parser. The first byte chooses the parser (0 text bag, 1 binary stream, 2 registry
// file); the rest is the input. Besides never crashing, hanging or leaking, a loader
// that accepts its input must give back exactly what it read after a save and a
// second load.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "platform/component/binary_property_stream.h"
#include "platform/component/registry_file.h"
#include "platform/component/text_property_bag.h"

using namespace vort::component;

namespace {

// Every exchanged type, names as a control would use them.
struct Fields {
    uint16_t major = 0, minor = 0;
    int32_t x = 0, y = 0;
    int16_t a = 0, b = 0;
    bool f = false, g = false;
    std::u16string s, t;

    void exchange(PropertyExchange& px) {
        px.exchangeVersion(major, minor, 2, 7);
        px.exchange("_ExtentX", x, 1000);
        px.exchange("_ExtentY", y, 1000);
        px.exchange("CommPort", a, 2);
        px.exchange("DTREnable", f, true);
        px.exchange("Settings", s, u"57600,N,8,1");
        px.exchange("Handshaking", b, 0);
        px.exchange("NullDiscard", g, false);
        px.exchange("FileName", t, u"");
    }
    bool operator==(const Fields&) const = default;
};

void check(bool ok) {
    if (!ok)
        std::abort();
}

void textBag(std::string_view input) {
    TextPropertyBagReader reader(input);
    Fields loaded;
    loaded.exchange(reader);
    if (reader.failed()) {
        check(!reader.error().empty());
        return;
    }
    TextPropertyBagWriter writer;
    Fields copy = loaded;
    copy.exchange(writer);
    check(!writer.failed());
    TextPropertyBagReader again(writer.text());
    Fields reloaded;
    reloaded.exchange(again);
    check(!again.failed() && reloaded == loaded);
}

void binaryStream(std::span<const uint8_t> input) {
    BinaryPropertyStreamReader reader(input);
    Fields loaded;
    loaded.exchange(reader);
    check(reader.consumed() <= input.size());
    if (reader.failed()) {
        check(!reader.error().empty());
        return;
    }
    BinaryPropertyStreamWriter writer;
    Fields copy = loaded;
    copy.exchange(writer);
    BinaryPropertyStreamReader again(writer.bytes());
    Fields reloaded;
    reloaded.exchange(again);
    check(!again.failed() && reloaded == loaded && again.consumed() == writer.bytes().size());
}

void registry(std::string_view input) {
    RegistryData data;
    try {
        data = parseRegistry(input, "fuzz");
    } catch (const RegistryError& e) {
        check(std::string_view(e.what()).find("is damaged") != std::string_view::npos);
        return;
    }
    check(parseRegistry(formatRegistry(data), "fuzz") == data);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0)
        return 0;
    std::span<const uint8_t> rest(data + 1, size - 1);
    std::string_view text(reinterpret_cast<const char*>(rest.data()), rest.size());
    switch (data[0] % 3) {
    case 0:
        textBag(text);
        break;
    case 1:
        binaryStream(rest);
        break;
    case 2:
        registry(text);
        break;
    }
    return 0;
}
