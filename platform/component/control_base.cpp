#include "platform/component/control_base.h"

namespace vort::component {

namespace {

const InterfaceInfo* findInfo(const TypeLibrary* lib, const Guid& iid) {
    return lib && !iid.isNull() ? lib->findInterface(iid) : nullptr;
}

// Sets a flag for the duration of a scope, also when leaving by an exception.
struct FlagScope {
    bool& flag;
    bool old;
    explicit FlagScope(bool& f) : flag(f), old(f) { flag = true; }
    ~FlagScope() { flag = old; }
};

} // namespace

ControlBase::ControlBase(const ControlDescription& description)
    : DispatchObject(*description.members,
                     findInfo(description.typeLibrary, description.dispatchIid)),
      description_(description), loadedMajor_(description.versionMajor),
      loadedMinor_(description.versionMinor) {}

int32_t ControlBase::queryInterface(const Guid& iid, void** out) {
    return DispatchObject::queryInterface(iid, out);
}

uint32_t ControlBase::addRef() {
    return DispatchObject::addRef();
}

uint32_t ControlBase::release() {
    return DispatchObject::release();
}

void* ControlBase::findInterface(const Guid& iid) {
    if (iid == ConnectionPoint::kIid)
        return static_cast<ConnectionPoint*>(this);
    if (iid == Control::kIid)
        return static_cast<Control*>(this);
    return DispatchObject::findInterface(iid);
}

int32_t ControlBase::advise(EventSink* sink, uint32_t* cookie) {
    return events_.advise(sink, cookie);
}

int32_t ControlBase::unadvise(uint32_t cookie) {
    return events_.unadvise(cookie);
}

const InterfaceInfo* ControlBase::eventInfo() {
    return findInfo(description_.typeLibrary, description_.eventIid);
}

void ControlBase::setSite(ContainerSite* site) {
    site_ = site;
    onSiteChanged();
}

void ControlBase::ambientPropertyChanged(int32_t dispid) {
    onAmbientPropertyChanged(dispid);
}

void ControlBase::freezeEvents(bool freeze) {
    events_.freeze(freeze);
}

int32_t ControlBase::setExtent(Extent extent) {
    if (extent.width <= 0 || extent.height <= 0)
        return kInvalidArg;
    if (extent != extent_) {
        extent_ = extent;
        setModified();
    }
    return kOk;
}

bool ControlBase::userMode() {
    return site_ ? site_->userMode() : true;
}

void ControlBase::fireEvent(int32_t dispid, std::span<const Variant> args) {
    // A handler may release the host's last reference to this control.
    KeepAlive keep(*this);
    events_.fire(dispid, args);
}

void ControlBase::fireEvent(int32_t dispid, std::initializer_list<Variant> args) {
    fireEvent(dispid, std::span<const Variant>(args.begin(), args.size()));
}

void ControlBase::setModified() {
    modified_ = true;
    if (!loading_ && site_)
        site_->setModified();
}

void ControlBase::notifyPropertyChanged(int32_t dispid) {
    if (site_)
        site_->onPropertyChanged(dispid);
}

void ControlBase::exchangeProperties(PropertyExchange&) {}

void ControlBase::exchangeAll(PropertyExchange& px) {
    uint16_t major = description_.versionMajor, minor = description_.versionMinor;
    px.exchangeVersion(major, minor, description_.versionMajor, description_.versionMinor);
    if (px.isLoading()) {
        loadedMajor_ = major;
        loadedMinor_ = minor;
    }
    Extent def;
    int32_t width = extent_.width, height = extent_.height;
    px.exchange(kExtentXName, width, def.width);
    px.exchange(kExtentYName, height, def.height);
    if (px.isLoading()) {
        // A control has a size; a stored size of 0 or less is taken as the default.
        extent_.width = width > 0 ? width : def.width;
        extent_.height = height > 0 ? height : def.height;
    }
    exchangeProperties(px);
}

int32_t ControlBase::loadFrom(PropertyExchange& in) {
    FlagScope scope(loading_);
    int32_t result = kOk;
    try {
        exchangeAll(in);
        if (in.failed())
            result = kInvalidData;
    } catch (...) {
        result = kInvalidData;
    }
    if (result != kOk) {
        DefaultPropertyValues defaults;
        try {
            exchangeAll(defaults);
        } catch (...) {
            // Nothing better is left than the values as they stand.
        }
    }
    modified_ = false;
    return result;
}

int32_t ControlBase::initNew() {
    DefaultPropertyValues defaults;
    return loadFrom(defaults);
}

int32_t ControlBase::load(PropertyExchange& in) {
    if (!in.isLoading())
        return kInvalidArg;
    return loadFrom(in);
}

int32_t ControlBase::save(PropertyExchange& out, bool clearModified) {
    if (out.isLoading())
        return kInvalidArg;
    try {
        exchangeAll(out);
    } catch (const std::bad_alloc&) {
        return kOutOfMemory;
    } catch (...) {
        return kUnexpected;
    }
    if (out.failed())
        return kFail;
    if (clearModified)
        modified_ = false;
    return kOk;
}

const PropertyBrowserList* ControlBase::browserList(int32_t dispid) {
    for (const PropertyBrowserList& l : description_.browserLists)
        if (l.dispid == dispid)
            return &l;
    return nullptr;
}

int32_t ControlBase::displayString(int32_t dispid, std::u16string* out) {
    if (!out)
        return kPointer;
    const PropertyBrowserList* list = browserList(dispid);
    if (!list)
        return kDispMemberNotFound;
    Variant value;
    InvokeResult r = invoke(dispid, InvokeKind::PropertyGet, {}, &value);
    if (!r.ok())
        return r.code;
    int32_t v = 0;
    if (!value.toI4(v))
        return kDispTypeMismatch;
    *out = list->displayString(v);
    return kOk;
}

} // namespace vort::component
