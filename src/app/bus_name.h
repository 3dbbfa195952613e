#pragma once

namespace hb::app {

// The running Hintboard's name, object and interface on the session bus.
inline constexpr char busName[] = "org.mirelo.Hintboard";
inline constexpr char objectPath[] = "/org/mirelo/Hintboard";
inline constexpr char interfaceName[] = "org.mirelo.Hintboard";

} // namespace hb::app
