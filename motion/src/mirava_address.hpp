#pragma once

#include <velmor/net/host_port.hpp>

namespace velmor {

//! The address from VELMOR_MIRAVA_ADDRESS, or 127.0.0.1:8768 when it is unset or empty;
//! throws VelmorError (module "mirava") when it is not of the form host:port.
HostPort mirava_address_from_environment();

}  // namespace velmor
