// The platform loader's signature stand-in is not part of the firmware library; these tests
// check chunk lists against it, so its modules are compiled into this program here, once.
#include "platform/platform_text.cpp"
#include "platform/serial_output.cpp"
#include "platform/signature_service.cpp"
#include "platform/settings_parser.cpp"
