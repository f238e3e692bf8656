#pragma once

#include <string>
#include <string_view>

#include <velmor/drivers/simulated/signal.hpp>

namespace velmor::drivers::simulated {

//! The HTML fragment of one signal: buttons and forms whose outer element has
//! the signal's name as id; `running` shows the stop form of a repeating toggle.
std::string get_sensor_html(const Signal& signal, bool running);

//! The text with &, <, >, " and ' replaced by character references, safe in
//! element text and in quoted attribute values.
std::string escape_html(std::string_view text);

//! The viewer page up to and including the opening of the signal list.
std::string get_page_head();

//! One row of the signal list: name, description and the signal's fragment.
std::string get_signal_row(const Signal& signal, bool running);

//! The line shown in the signal list when there is no signal.
std::string get_empty_list_line();

//! Id of the page's notice line, which tells one page why its change was refused.
inline constexpr const char* notice_id = "velmor-io-notice";

//! The notice line showing `text`, which replaces the page's current one.
std::string get_notice_html(std::string_view text);

//! The closing of the signal list and of the page.
std::string get_page_tail();

}  // namespace velmor::drivers::simulated
