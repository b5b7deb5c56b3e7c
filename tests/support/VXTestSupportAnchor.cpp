// Keeps the support library non-empty while it has no other sources.
namespace vx::test { int supportAnchor = 0; }
