// ControlBase: the base class of a control, implementing Dispatch (through its
// DispatchTable), ConnectionPoint (its events), Control (site, freeze, extent,
// persistence, property browser) and the reference counting for all of them.
//
// A control derives from it, passes a ControlDescription (static data) to the
// constructor, and writes: its DispatchTable, its exchangeProperties routine, and the
// getters, setters and methods. Inside them it uses:
//   userMode()                  ambient UserMode (true without a site)
//   fireEvent(dispid, {args})   an event to every advised sink, in the owner's thread
//   propertyWritten(dispid)     what every property write that takes effect does:
//                               mark modified and notify the site
//   setModified(), notifyPropertyChanged(dispid), isLoading()
//
// Persistence: load/save/initNew run one routine over a PropertyExchange: the version
// (ControlDescription's major.minor, stored as "_Version"), then the extent every
// control carries ("_ExtentX", "_ExtentY", I4, HIMETRIC, default 1000 x 1000), then
// exchangeProperties(px). A damaged store runs the routine a second time over
// DefaultPropertyValues, so every property ends at its default, and load returns
// kInvalidData (the exchange's error() says why). While loading, setModified does not
// reach the site (a loaded control is not modified); property-changed notices do.
//
// Thread rule: everything runs in the owner's thread; worker threads never call a
// ControlBase member (they post to the owner, who then fires).
#pragma once

#include <initializer_list>
#include <span>
#include <string>
#include <vector>

#include "platform/component/control.h"
#include "platform/component/dispatch_object.h"
#include "platform/component/event_connections.h"

namespace vort::component {

struct ControlDescription {
    // The control's DispatchTable (required).
    const DispatchMembers* members = nullptr;
    // The type library describing the control (may be null: no type information).
    const TypeLibrary* typeLibrary = nullptr;
    // The dispatch interface and the event interface within typeLibrary.
    Guid dispatchIid;
    Guid eventIid;
    // The property browser's predefined lists, by DISPID.
    std::vector<PropertyBrowserList> browserLists;
    // CLSIDs of the property page classes.
    std::vector<Guid> propertyPages;
    // The persisted layout's version, exchanged first.
    uint16_t versionMajor = 1;
    uint16_t versionMinor = 0;
};

class ControlBase : public DispatchObject, public ConnectionPoint, public Control {
public:
    // description must outlive the control (a static).
    explicit ControlBase(const ControlDescription& description);
    ~ControlBase() override = default;

    // Unknown, once for all three interfaces.
    int32_t queryInterface(const Guid& iid, void** out) override;
    uint32_t addRef() override;
    uint32_t release() override;

    // ConnectionPoint.
    int32_t advise(EventSink* sink, uint32_t* cookie) override;
    int32_t unadvise(uint32_t cookie) override;
    const InterfaceInfo* eventInfo() override;

    // Control.
    void setSite(ContainerSite* site) override;
    ContainerSite* site() override { return site_; }
    void ambientPropertyChanged(int32_t dispid) override;
    void freezeEvents(bool freeze) override;
    Extent extent() override { return extent_; }
    int32_t setExtent(Extent extent) override;
    int32_t initNew() override;
    int32_t load(PropertyExchange& in) override;
    int32_t save(PropertyExchange& out, bool clearModified) override;
    bool isModified() override { return modified_; }
    const PropertyBrowserList* browserList(int32_t dispid) override;
    int32_t displayString(int32_t dispid, std::u16string* out) override;
    const TypeLibrary* typeLibrary() override { return description_.typeLibrary; }
    std::vector<Guid> propertyPages() override { return description_.propertyPages; }

protected:
    void* findInterface(const Guid& iid) override;
    // Ambient UserMode: the site's, or true (run mode) without a site.
    bool userMode() override;

    // Fires event dispid (arguments in natural order) to every advised sink, unless
    // events are frozen. The control stays alive until the last handler returns.
    void fireEvent(int32_t dispid, std::span<const Variant> args = {});
    void fireEvent(int32_t dispid, std::initializer_list<Variant> args);

    void setModified();
    void notifyPropertyChanged(int32_t dispid);
    void propertyWritten(int32_t dispid) {
        setModified();
        notifyPropertyChanged(dispid);
    }
    // Inside initNew or load.
    bool isLoading() const { return loading_; }
    // The version the last load found in storage (the own version after initNew).
    uint16_t loadedVersionMajor() const { return loadedMajor_; }
    uint16_t loadedVersionMinor() const { return loadedMinor_; }

    // The control's persisted properties, in their fixed order; called after the
    // version and the extent have been exchanged. Must not fail by throwing; a loader's
    // damage is seen through px.failed().
    virtual void exchangeProperties(PropertyExchange& px);
    // The site was set or replaced (the control may (re)create what depends on it).
    virtual void onSiteChanged() {}
    // The host reported a change of ambient property dispid.
    virtual void onAmbientPropertyChanged(int32_t) {}

private:
    void exchangeAll(PropertyExchange& px);
    int32_t loadFrom(PropertyExchange& in);

    const ControlDescription& description_;
    EventConnections events_;
    ContainerSite* site_ = nullptr;
    Extent extent_;
    bool modified_ = false;
    bool loading_ = false;
    uint16_t loadedMajor_;
    uint16_t loadedMinor_;
};

} // namespace vort::component
