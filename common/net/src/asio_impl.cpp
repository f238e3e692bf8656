// The one translation unit that compiles Asio and Beast for the whole project.
#include <boost/asio/impl/src.hpp>
#include <boost/beast/src.hpp>
