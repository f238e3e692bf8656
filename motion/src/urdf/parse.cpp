#include "urdf/parse.hpp"

#include <mutex>

#include <console_bridge/console.h>
#include <urdf_parser/urdf_parser.h>

#include <velmor/common/velmor_error.hpp>

namespace velmor::urdf_reading {

namespace {

//! Collects the parser's complaints, which it would otherwise print on standard error.
class Complaints : public console_bridge::OutputHandler {
public:
    void log(const std::string& text, console_bridge::LogLevel level, const char*, int) override {
        if (level >= console_bridge::CONSOLE_BRIDGE_LOG_WARN && text_.size() < 2000) {
            text_ += (text_.empty() ? "" : " ") + text;
        }
    }
    [[nodiscard]] const std::string& text() const { return text_; }

private:
    std::string text_;
};

//! Guards the parser's process-wide output handler while one parse borrows it.
std::mutex output_handler_lock;

}  // namespace

urdf::ModelInterfaceSharedPtr parse(const std::string& xml) {
    Complaints complaints;
    urdf::ModelInterfaceSharedPtr model;
    {
        const std::lock_guard lock(output_handler_lock);
        console_bridge::useOutputHandler(&complaints);
        try {
            model = urdf::parseURDF(xml);
        } catch (const std::exception& error) {
            console_bridge::restorePreviousOutputHandler();
            throw VelmorError("urdf", std::string("The robot description is not valid: ") + error.what());
        }
        console_bridge::restorePreviousOutputHandler();
    }
    if (!model) {
        throw VelmorError("urdf", "The robot description is not valid: " +
                                      (complaints.text().empty() ? std::string("the parser refused it.")
                                                                 : complaints.text().substr(0, 600)));
    }
    return model;
}

}  // namespace velmor::urdf_reading
