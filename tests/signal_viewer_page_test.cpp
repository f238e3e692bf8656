#include <velmor/drivers/simulated/sensor_html.hpp>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

using namespace velmor::drivers::simulated;
using ::testing::HasSubstr;
using ::testing::Not;

namespace {

Signal digital(std::int32_t value, const std::string& name = "lamp") {
    return {name, value, std::nullopt};
}

// The classes of the 0 and 1 buttons, in document order.
std::pair<std::string, std::string> button_classes(const std::string& html) {
    const std::string marker = R"(<button class=")";
    const auto first = html.find(marker) + marker.size();
    const auto second = html.find(marker, first) + marker.size();
    return {html.substr(first, html.find('"', first) - first), html.substr(second, html.find('"', second) - second)};
}

}  // namespace

TEST(SensorHtml, DigitalButtonClassesFollowTheValue) {
    EXPECT_EQ(button_classes(get_sensor_html(digital(0), false)), std::make_pair(std::string("active"), std::string("inactive")));
    EXPECT_EQ(button_classes(get_sensor_html(digital(1), false)), std::make_pair(std::string("inactive"), std::string("active")));
    EXPECT_EQ(button_classes(get_sensor_html(digital(2), false)), std::make_pair(std::string("inactive"), std::string("inactive")));
    EXPECT_EQ(button_classes(get_sensor_html(digital(-7), false)), std::make_pair(std::string("inactive"), std::string("inactive")));
}

TEST(SensorHtml, DigitalFragmentHasFormsInOrder) {
    const std::string html = get_sensor_html(digital(0), false);
    EXPECT_EQ(html.rfind(R"(<div id="lamp" style="display: flex; gap: 0.5em;">)", 0), 0U);
    const auto zero = html.find(R"(<input type="hidden" name="value" value="0">)");
    const auto one = html.find(R"(<input type="hidden" name="value" value="1">)");
    const auto spacer = html.find("<div></div>");
    const auto toggle = html.find(R"(value="toggle">Toggle</button>)");
    ASSERT_NE(zero, std::string::npos);
    EXPECT_LT(zero, one);
    EXPECT_LT(one, spacer);
    EXPECT_LT(spacer, toggle);
    EXPECT_THAT(html, HasSubstr(R"(<input class="value-input" type="number" name="after" step="0.1" min="0" max="30" value="0"><span class="label">After [s]</span>)"));
    EXPECT_THAT(html, HasSubstr(R"(<input class="value-input" type="number" name="interval" step="0.1" min="0" max="30" value="0"><span class="label">Every [s]</span>)"));
    EXPECT_THAT(html, Not(HasSubstr("Stop")));
    EXPECT_EQ(html.substr(html.size() - 6), "</div>");
}

TEST(SensorHtml, RunningToggleShowsStopFormInsteadOfTimes) {
    const std::string html = get_sensor_html(digital(1), true);
    EXPECT_THAT(html, HasSubstr(R"(<form hx-ws="send"><input type="hidden" name="name" value="lamp"><button class="active" type="submit" name="action" value="stop">Stop</button></form>)"));
    EXPECT_THAT(html, Not(HasSubstr("After [s]")));
    EXPECT_THAT(html, Not(HasSubstr(">Toggle<")));
}

TEST(SensorHtml, AnalogValueHasSixDecimals) {
    const std::string html = get_sensor_html(Signal {"speed", 0.25F, std::nullopt}, true);
    EXPECT_EQ(html.rfind(R"(<div id="speed" style="display: inline-flex; gap: 0.5em;">)", 0), 0U);
    EXPECT_THAT(html, HasSubstr(R"(name="value" step="0.01" value="0.250000">)"));
    EXPECT_THAT(html, HasSubstr(R"(value="set-value">Set</button>)"));
    EXPECT_THAT(html, Not(HasSubstr("Stop")));
    EXPECT_THAT(get_sensor_html(Signal {"s", -2.0F, std::nullopt}, false), HasSubstr(R"(value="-2.000000")"));
    EXPECT_THAT(get_sensor_html(Signal {"s", 1e20F, std::nullopt}, false), HasSubstr(R"(value="100000002004087734272.000000")"));
}

TEST(SensorHtml, NamesAreEscapedInIdsAndInputs) {
    const std::string html = get_sensor_html(digital(0, R"(<script>alert("x")</script>&')"), false);
    EXPECT_THAT(html, Not(HasSubstr("<script>")));
    EXPECT_THAT(html, HasSubstr(R"(<div id="&lt;script&gt;alert(&quot;x&quot;)&lt;/script&gt;&amp;&#39;" )"));
    EXPECT_THAT(html, HasSubstr(R"(name="name" value="&lt;script&gt;alert(&quot;x&quot;)&lt;/script&gt;&amp;&#39;")"));
}

TEST(SensorHtml, EscapeReplacesEveryMarkupCharacter) {
    EXPECT_EQ(escape_html(R"(a&b<c>d"e'f)"), "a&amp;b&lt;c&gt;d&quot;e&#39;f");
    EXPECT_EQ(escape_html("plain text"), "plain text");
}

TEST(SignalRow, ShowsNameAndEscapedDescription) {
    const std::string row = get_signal_row(Signal {"gripper", std::int32_t {0}, "<b>open</b>"}, false);
    EXPECT_EQ(row.rfind(R"(<div style="display: grid; grid-template-columns: repeat(2, 1fr);"><div style="display: flex; flex-direction: column;"><div class="title">gripper</div><div class="label">&lt;b&gt;open&lt;/b&gt;</div></div><div id="gripper")", 0), 0U);
}

TEST(SignalRow, MissingDescriptionGivesEmptyLabel) {
    EXPECT_THAT(get_signal_row(digital(0), false), HasSubstr(R"(<div class="title">lamp</div><div class="label"></div>)"));
}

TEST(ViewerPage, HeadLoadsHtmxWithIntegrityAndOpensTheSignalList) {
    const std::string head = get_page_head();
    EXPECT_EQ(head.rfind("<html><head><title>Velmor I/O Viewer</title>", 0), 0U);
    EXPECT_THAT(head, HasSubstr(R"(htmx.org@1.9.11/dist/htmx.min.js" integrity="sha384-)"));
    EXPECT_THAT(head, HasSubstr(R"(crossorigin="anonymous")"));
    EXPECT_THAT(head, HasSubstr(".active { color: rgb(113 63 18); background-color: rgb(251 191 36); font-weight: 500; }"));
    EXPECT_THAT(head, HasSubstr(R"(" width="48px"> I/O Signal Viewer</h1>)"));
    EXPECT_EQ(head.substr(head.size() - 43), R"(<div hx-ws="connect:/" class="signal-list">)");
    EXPECT_EQ(get_empty_list_line(), R"(<span style="color: #555;">No I/Os defined.</span>)");
    EXPECT_EQ(get_page_tail(), "</div></div></body></html>");
}

TEST(SensorHtml, PlainIdentifierNamesNeedNoSwapTarget) {
    EXPECT_THAT(get_sensor_html(digital(0, "gripper_2-open"), false), Not(HasSubstr("hx-swap-oob")));
}

TEST(SensorHtml, OtherNamesNameTheirSwapTargetByAttribute) {
    EXPECT_THAT(get_sensor_html(digital(0, "0"), false),
                HasSubstr(R"(<div id="0" hx-swap-oob="outerHTML:[id=&#39;0&#39;]" style=)"));
    EXPECT_THAT(get_sensor_html(Signal {"a.b c", 1.0F, std::nullopt}, false),
                HasSubstr(R"(<div id="a.b c" hx-swap-oob="outerHTML:[id=&#39;a.b c&#39;]" style=)"));
    EXPECT_THAT(get_sensor_html(digital(0, "it's\\x"), false),
                HasSubstr(R"(hx-swap-oob="outerHTML:[id=&#39;it\&#39;s\\x&#39;]")"));
    EXPECT_THAT(get_sensor_html(digital(0, "-1"), false), HasSubstr("hx-swap-oob"));
}
