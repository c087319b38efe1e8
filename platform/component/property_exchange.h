// PropertyExchange: the one routine by which a control both saves and loads its
// persisted properties.
//
// A control writes a single exchange routine that calls exchange(name, field, default)
// for each persisted property in a fixed order, after the version. The same routine
// serves every storage form: when saving, each call writes the field; when loading,
// each call sets the field from storage, or to the default when the storage lacks the
// name. Two forms exist: a text property bag (TextPropertyBag*) and an ordered binary
// stream (BinaryPropertyStream*); DefaultPropertyValues gives every field its default.
//
// A loader that meets damaged or unknown data records the first error (failed(),
// error()) and from then on hands out defaults; the caller then runs the routine once
// more over DefaultPropertyValues, so that a damaged store leaves every property at
// its default rather than half loaded (ControlBase does exactly that).
//
// Names are ASCII identifiers ([A-Za-z_][A-Za-z0-9_]*). Single-threaded.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace vort::component {

// Storage names of what every control exchanges before its own properties: the
// version (in the text bag; the binary stream stores it untitled) and the extent.
inline constexpr const char* kVersionName = "_Version";
inline constexpr const char* kExtentXName = "_ExtentX";
inline constexpr const char* kExtentYName = "_ExtentY";

class PropertyExchange {
public:
    virtual ~PropertyExchange() = default;

    virtual bool isLoading() const = 0;

    // The version of the stored layout, exchanged first. Saving writes major.minor
    // (the control's own version); loading gives the stored one, or the defaults.
    virtual void exchangeVersion(uint16_t& major, uint16_t& minor, uint16_t defMajor,
                                 uint16_t defMinor) = 0;
    virtual void exchange(std::string_view name, int16_t& value, int16_t def) = 0;
    virtual void exchange(std::string_view name, int32_t& value, int32_t def) = 0;
    virtual void exchange(std::string_view name, bool& value, bool def) = 0;
    virtual void exchange(std::string_view name, std::u16string& value,
                          std::u16string_view def) = 0;

    // Whether an error has been met, and the first one in words ("" when none).
    bool failed() const { return !error_.empty(); }
    const std::string& error() const { return error_; }

protected:
    // Records message unless an error is already recorded.
    void fail(std::string message);

private:
    std::string error_;
};

// A loader that gives every field its default: a new control, or a damaged store.
class DefaultPropertyValues final : public PropertyExchange {
public:
    bool isLoading() const override { return true; }
    void exchangeVersion(uint16_t& major, uint16_t& minor, uint16_t defMajor,
                         uint16_t defMinor) override;
    void exchange(std::string_view name, int16_t& value, int16_t def) override;
    void exchange(std::string_view name, int32_t& value, int32_t def) override;
    void exchange(std::string_view name, bool& value, bool def) override;
    void exchange(std::string_view name, std::u16string& value, std::u16string_view def) override;
};

// Whether name is an ASCII identifier as stored property names must be.
bool isPropertyName(std::string_view name);

} // namespace vort::component
