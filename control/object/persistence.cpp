// The persisted properties, their defaults and their fixed order, and what runs after
// they are loaded.
#include <array>

#include "control/object/vort_ctrl.h"
#include "platform/component/text.h"

namespace vort {

namespace {

// Exchanges a value kept in an atomic.
template <class T>
void exchangeAtomic(component::PropertyExchange& px, std::string_view name, std::atomic<T>& field,
                    T def) {
    T value = field.load();
    px.exchange(name, value, def);
    field = value;
}

// Exchanges a byte text kept as ISO-8859-1.
void exchangeLatin1(component::PropertyExchange& px, std::string_view name, std::string& field,
                    std::u16string_view def) {
    std::u16string value = component::fromLatin1(field);
    px.exchange(name, value, def);
    field = component::toLatin1(value);
}

constexpr std::array<const char*, 7> kNetworkKeys = {
    "IP=",       "PORT=",   "MAXSERVERCONNECTIONS=", "OWNEXTENSION=", "CONTROLLER=",
    "CIPVALUE=", "CIPMASK="};

} // namespace

void CVortCtrl::exchangeProperties(component::PropertyExchange& px) {
    px.exchange("CommPort", commPort_, 2);
    px.exchange("ComType", comType_, 0);
    exchangeAtomic<int16_t>(px, "InBufferSize", inBufferSize_, 2048);
    px.exchange("OutBufferSize", outBufferSize_, 1536);
    exchangeAtomic<int16_t>(px, "RThreshold", rThreshold_, 1);
    exchangeAtomic<int16_t>(px, "SThreshold", sThreshold_, 1);
    px.exchange("DTREnable", dtrEnable_, true);
    px.exchange("RTSEnable", rtsEnable_, true);
    px.exchange("NullDiscard", nullDiscard_, false);
    px.exchange("YieldState", yieldState_, true);
    px.exchange("ParityReplace", parityReplace_, u"");
    px.exchange("CDTimeout", cdTimeout_, 0);
    px.exchange("CTSTimeout", ctsTimeout_, 0);
    px.exchange("DSRTimeout", dsrTimeout_, 0);
    px.exchange("Interval", interval_, 0);
    px.exchange("Handshaking", handshaking_, 0);
    px.exchange("InputMode", inputMode_, 0);
    exchangeAtomic<int16_t>(px, "Protocol", protocol_, kProtocolZmodemSave);
    exchangeLatin1(px, "Settings", settings_, u"57600,N,8,1");
    if (isSerialComType(comType_)) {
        px.exchange("ModemInitString", modemInitString_, u"ATE0L1M0Q0V1&C1&D2&S1");
        px.exchange("ModemAnswerString", modemAnswerString_, u"ATA");
    } else if (px.isLoading()) {
        modemInitString_.clear();
        modemAnswerString_.clear();
    }
    px.exchange("ModemPhoneNumber", modemPhoneNumber_, u"");
    {
        std::lock_guard lock(fileNameMutex_);
        px.exchange("FileName", fileName_, u"");
    }
    {
        std::lock_guard lock(fileNameMutex_);
        px.exchange("FileDownLoadDir", fileDownLoadDir_, u"\\");
    }
    px.exchange("ModemTimeout", modemTimeoutMs_, 60000);
    exchangeAtomic<int16_t>(px, "Priority", priority_, 2);

    if (px.isLoading()) {
        // While the port is open its comm id is fixed: a loaded CommPort takes effect at
        // the next open, so Output, Input and closing keep reaching the open device.
        if (!portOpenFlag_.load())
            openCommId_ = commPort_ - 1;
        afterLoad();
    }
}

void CVortCtrl::afterLoad() {
    setComType(comType_);
    // Network parameters live in the library per comm id, so a loaded text that
    // carries them is written again to reach it.
    const std::string upper = component::toUpperAscii(std::string_view(settings_).substr(0, 127));
    for (const char* key : kNetworkKeys) {
        if (upper.find(key) != std::string::npos) {
            try {
                setSettings(component::fromLatin1(settings_));
            } catch (const component::ComponentError&) {
                // A stored text the library refuses stays as stored; the host sees the
                // error when it next writes Settings.
            }
            break;
        }
    }
}

} // namespace vort
