// A shared library that is not a component library: it has no component exports.
extern "C" __attribute__((visibility("default"))) int vortTestNotAComponent() {
    return 1;
}
