// The few firmware services that the boot loader's parsers and loader ask for, answered by
// the host, so that host tools run them without a firmware: pool from the heap, pages from
// anonymous mappings (at the address asked for when it is free), console text to standard
// error. Every other service is absent (null). One at a time; installed for its lifetime.
#pragma once

class HostServices {
 public:
  HostServices();
  ~HostServices();
  HostServices(const HostServices&) = delete;
  HostServices& operator=(const HostServices&) = delete;
};
