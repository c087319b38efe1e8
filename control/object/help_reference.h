// The control's help reference: one HTML page, vortocxe.html, listing every property,
// method, event and enumeration of the type library with its type, access, run-time
// mark and help string, and a short paragraph where the help string alone says too
// little (those paragraphs are prose kept in resources/help_reference.txt, help_prose.h).
// It is generated from the type library itself at build time (help_generator) so it can
// never drift from the interface, and installed beside libvort.so, where F1 in design
// mode opens it. Plain C++, no Qt.
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "platform/component/type_info.h"

namespace vort {

// The whole page. browserLists: the property browser's predefined values, listed with
// their properties (may be empty). Throws std::runtime_error when the compiled-in prose
// is malformed or lacks one of the page's paragraphs.
std::string helpReferenceHtml(const component::TypeLibrary& library,
                              std::span<const component::PropertyBrowserList> browserLists);

// text with &, <, >, " and ' written as HTML character references.
std::string htmlEscape(std::string_view text);

} // namespace vort
