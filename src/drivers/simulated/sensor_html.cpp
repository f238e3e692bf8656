#include <velmor/drivers/simulated/sensor_html.hpp>

#include <algorithm>
#include <cstdio>

namespace velmor::drivers::simulated {

namespace {

// The icon is inline so that the page needs no second request.
constexpr std::string_view icon_uri =
    "data:image/svg+xml;base64,"
    "PHN2ZyB4bWxucz0iaHR0cDovL3d3dy53My5vcmcvMjAwMC9zdmciIHZpZXdCb3g9IjAgMCA0OCA0OCI+PHJlY3QgeD0iNiIgeT0iMzgiIHdpZHRoPSIyMiIgaGVpZ2h0PSI2IiByeD0iMiIgZmlsbD0iIzcxM2YxMiIvPjxwYXRoIGQ9Ik0xNyAzOCBMMTcgMjYgTDMxIDE0IiBzdHJva2U9IiNmYmJmMjQiIHN0cm9rZS13aWR0aD0iNiIgc3Ryb2tlLWxpbmVjYXA9InJvdW5kIiBmaWxsPSJub25lIi8+PGNpcmNsZSBjeD0iMTciIGN5PSIyNiIgcj0iNCIgZmlsbD0iIzcxM2YxMiIvPjxjaXJjbGUgY3g9IjMxIiBjeT0iMTQiIHI9IjQiIGZpbGw9IiM3MTNmMTIiLz48cGF0aCBkPSJNMzQgOCBMNDIgNiBNMzUgMTggTDQzIDIwIiBzdHJva2U9IiM1NTUiIHN0cm9rZS13aWR0aD0iMyIgc3Ryb2tlLWxpbmVjYXA9InJvdW5kIi8+PC9zdmc+Cg==";

bool is_css_identifier(std::string_view name) {
    if (name.empty() || (name[0] >= '0' && name[0] <= '9') ||
        (name[0] == '-' && (name.size() == 1 || (name[1] >= '0' && name[1] <= '9')))) {
        return false;
    }
    return std::all_of(name.begin(), name.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_';
    });
}

// The page swaps a received fragment into the element whose id is "#" + id as
// a CSS selector; a name that is no CSS identifier ("0", "a.b", "x y") would
// make that selector invalid, so such fragments name their target explicitly.
std::string outer_attributes(const std::string& raw_name) {
    std::string attributes = R"(id=")" + escape_html(raw_name) + '"';
    if (is_css_identifier(raw_name)) {
        return attributes;
    }
    std::string selector = "outerHTML:[id='";
    for (const char c : raw_name) {
        if (c == '\\' || c == '\'') {
            selector += '\\';
            selector += c;
        } else if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) {
            char escaped[8];
            std::snprintf(escaped, sizeof(escaped), "\\%x ", static_cast<unsigned>(static_cast<unsigned char>(c)));
            selector += escaped;
        } else {
            selector += c;
        }
    }
    selector += "']";
    return attributes + R"( hx-swap-oob=")" + escape_html(selector) + '"';
}

std::string hidden_name_input(const std::string& name) {
    return R"(<input type="hidden" name="name" value=")" + name + R"(">)";
}

std::string digital_fragment(const std::string& raw_name, std::int32_t value, bool running) {
    const std::string name = escape_html(raw_name);
    const std::string class_0 = value == 0 ? "active" : "inactive";
    const std::string class_1 = value == 1 ? "active" : "inactive";
    std::string html = "<div " + outer_attributes(raw_name) + R"( style="display: flex; gap: 0.5em;">)";
    html += R"(<form hx-ws="send">)" + hidden_name_input(name) + R"(<input type="hidden" name="value" value="0">)"
            R"(<button class=")" + class_0 + R"(" type="submit" name="action" value="set-value">0</button></form>)";
    html += R"(<form hx-ws="send">)" + hidden_name_input(name) + R"(<input type="hidden" name="value" value="1">)"
            R"(<button class=")" + class_1 + R"(" type="submit" name="action" value="set-value">1</button></form>)";
    html += "<div></div>";
    if (running) {
        html += R"(<form hx-ws="send">)" + hidden_name_input(name) +
                R"(<button class="active" type="submit" name="action" value="stop">Stop</button></form>)";
    } else {
        html += R"(<form style="display: flex; gap: 0.5em; align-items: start;" hx-ws="send">)" +
                hidden_name_input(name) +
                R"(<div style="display: flex; flex-direction: column; ">)"
                R"(<input class="value-input" type="number" name="after" step="0.1" min="0" max="30" value="0">)"
                R"(<span class="label">After [s]</span></div>)"
                R"(<div style="display: flex; flex-direction: column; ">)"
                R"(<input class="value-input" type="number" name="interval" step="0.1" min="0" max="30" value="0">)"
                R"(<span class="label">Every [s]</span></div>)"
                R"(<button type="submit" name="action" value="toggle">Toggle</button></form>)";
    }
    html += "</div>";
    return html;
}

std::string analog_fragment(const std::string& raw_name, float value) {
    const std::string name = escape_html(raw_name);
    // Wide enough for every float in fixed notation with six decimals.
    char formatted[64];
    std::snprintf(formatted, sizeof(formatted), "%f", static_cast<double>(value));
    return "<div " + outer_attributes(raw_name) + R"( style="display: inline-flex; gap: 0.5em;">)"
           R"(<form hx-ws="send">)" + hidden_name_input(name) +
           R"(<input class="value-input" type="number" name="value" step="0.01" value=")" +
           escape_html(formatted) +
           R"(">)"
           R"(<button type="submit" name="action" value="set-value">Set</button></form></div>)";
}

// Who writes the signal, beside its name; a signal that any writer may set shows nothing.
std::string direction_label(const Signal& signal) {
    if (!signal.direction) {
        return "";
    }
    const std::string writer = *signal.direction == Direction::Input ? "set here" : "set by the program";
    return R"( <span class="label">)" + std::string(direction_name(*signal.direction)) + ", " + writer + "</span>";
}

}  // namespace

std::string escape_html(std::string_view text) {
    std::string escaped;
    escaped.reserve(text.size());
    for (const char c : text) {
        switch (c) {
            case '&': escaped += "&amp;"; break;
            case '<': escaped += "&lt;"; break;
            case '>': escaped += "&gt;"; break;
            case '"': escaped += "&quot;"; break;
            case '\'': escaped += "&#39;"; break;
            default: escaped += c;
        }
    }
    return escaped;
}

std::string get_sensor_html(const Signal& signal, bool running) {
    if (const auto* digital = std::get_if<std::int32_t>(&signal.value)) {
        return digital_fragment(signal.name, *digital, running);
    }
    if (const auto* analog = std::get_if<float>(&signal.value)) {
        return analog_fragment(signal.name, *analog);
    }
    return "<div " + outer_attributes(signal.name) + R"( class="label">Unknown Type</div>)";
}

std::string get_page_head() {
    return std::string(R"(<html><head><title>Velmor I/O Viewer</title>)"
                       R"(<script src="https://unpkg.com/htmx.org@1.9.11/dist/htmx.min.js" )"
                       R"(integrity="sha384-0gxUXCCR8yv9FM2b+U3FDbsKthCI66oH5IA9fHppQq9DDMHuMauqq1ZHBpJxQ0J0" )"
                       R"(crossorigin="anonymous"></script>)"
                       "<style>\n"
                       "body { font-family: ui-sans-serif, system-ui, sans-serif, Apple Color Emoji, Segoe UI Emoji, "
                       "Segoe UI Symbol, Noto Color Emoji; }\n"
                       ".container { max-width: 36em; margin: auto; }\n"
                       ".signal-list { display: flex; flex-direction: column; gap: 1em; }\n"
                       ".title { font-weight: 600; color: #111; }\n"
                       ".label { font-size: 10px; color: #555; }\n"
                       "button { border: none; font-size: 12px; border-radius: 0.2em; padding: 0.5em 1em; "
                       "cursor: pointer; background-color: #ccc; }\n"
                       "button:hover { background-color: #ddd; }\n"
                       ".active { color: rgb(113 63 18); background-color: rgb(251 191 36); font-weight: 500; }\n"
                       ".active:hover { background-color: rgb(255 211 56); }\n"
                       ".inactive { background-color: #eee; color: #555; }\n"
                       ".inactive:hover { background-color: #f5f5f5; }\n"
                       ".value-input { border: none; font-size: 12px; border-radius: 0.2em; padding: 0.5em 1em; "
                       "background-color: #eee; max-width: 8em; }\n"
                       ".notice { color: rgb(153 27 27); min-height: 1.2em; margin-bottom: 0.5em; }\n"
                       "</style></head>"
                       R"(<body><div class="container">)"
                       R"(<h1 style="display: inline-flex; gap: 0.5em; align-items: center;"><img src=")") +
           std::string(icon_uri) +
           R"(" width="48px"> I/O Signal Viewer</h1>)" + get_notice_html("") +
           R"(<div hx-ws="connect:/" class="signal-list">)";
}

std::string get_signal_row(const Signal& signal, bool running) {
    return R"(<div style="display: grid; grid-template-columns: repeat(2, 1fr);">)"
           R"(<div style="display: flex; flex-direction: column;"><div class="title">)" +
           escape_html(signal.name) + direction_label(signal) + R"(</div><div class="label">)" +
           escape_html(signal.description.value_or("")) +
           "</div></div>" + get_sensor_html(signal, running) + "</div>";
}

std::string get_empty_list_line() {
    return R"(<span style="color: #555;">No I/Os defined.</span>)";
}

std::string get_notice_html(std::string_view text) {
    return R"(<div id=")" + std::string(notice_id) + R"(" class="notice" role="status">)" + escape_html(text) + "</div>";
}

std::string get_page_tail() {
    return "</div></div></body></html>";
}

}  // namespace velmor::drivers::simulated
