#include "mirava/client.hpp"

#include <cmath>
#include <cstdio>
#include <string>

#include <velmor/common/velmor_error.hpp>

#include "mirava_address.hpp"

namespace velmor {

namespace {

// Pause between two connection attempts while nothing listens yet.
constexpr auto retry_interval = std::chrono::milliseconds(100);
// How long the destructor lets the application answer the closing handshake.
constexpr auto close_grace = std::chrono::milliseconds(200);

}  // namespace

void Mirava::Impl::reconnect(double timeout) {
    if (!(timeout >= 0.0) || !std::isfinite(timeout)) {
        throw VelmorError("mirava", "The connection timeout must be a finite number of seconds >= 0.");
    }
    const std::lock_guard reconnecting(reconnect_mutex);
    const HostPort address = mirava_address_from_environment();
    {
        const std::lock_guard lock(mutex);
        state = LinkState::Connecting;
        address_text = address.to_string();
        warned = false;
        has_pending = false;
        obstacles_wanted = false;
        obstacles_queued.reset();
    }
    const auto deadline =
        Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(timeout));
    auto attempt = std::make_shared<Attempt>(io, address, deadline);
    auto outcome = attempt->outcome.get_future();
    asio::post(io, [this, attempt]() {
        drop_connection();
        attempt->deadline_timer.expires_at(attempt->deadline);
        attempt->deadline_timer.async_wait([this, attempt](const beast::error_code& error) {
            if (!error) {
                finish_attempt(attempt, attempt->last_error);
            }
        });
        start_attempt(attempt);
    });
    const std::string failure = outcome.get();
    if (!failure.empty()) {
        throw VelmorError("mirava", "Could not connect to Mirava at " + address.to_string() + " within " +
                                        std::to_string(timeout) + " s: " + failure + ".");
    }
}

void Mirava::Impl::start_attempt(const std::shared_ptr<Attempt>& attempt) {
    attempt->connection = std::make_shared<Connection>(io);
    attempt->resolver.async_resolve(
        attempt->address.host, std::to_string(attempt->address.port),
        [this, attempt](const beast::error_code& error, const tcp::resolver::results_type& endpoints) {
            if (attempt->done) {
                return;
            }
            if (error) {
                retry_or_fail(attempt, error);
                return;
            }
            auto& stream = beast::get_lowest_layer(attempt->connection->ws);
            stream.async_connect(endpoints, [this, attempt](const beast::error_code& error, const tcp::endpoint&) {
                if (attempt->done) {
                    return;
                }
                if (error) {
                    retry_or_fail(attempt, error);
                    return;
                }
                auto& ws = attempt->connection->ws;
                beast::error_code ignored;
                // Each position is one small frame; none may wait for the acknowledgement of the one before.
                beast::get_lowest_layer(ws).socket().set_option(tcp::no_delay(true), ignored);
                beast::get_lowest_layer(ws).expires_never();
                ws.text(true);
                ws.async_handshake(attempt->address.to_string(), "/driver", [this, attempt](const beast::error_code& error) {
                    if (attempt->done) {
                        return;
                    }
                    if (error) {
                        retry_or_fail(attempt, error);
                        return;
                    }
                    finish_attempt(attempt, "");
                });
            });
        });
}

void Mirava::Impl::retry_or_fail(const std::shared_ptr<Attempt>& attempt, const beast::error_code& error) {
    attempt->last_error = error.message();
    beast::error_code ignored;
    beast::get_lowest_layer(attempt->connection->ws).socket().close(ignored);
    if (Clock::now() + retry_interval >= attempt->deadline) {
        finish_attempt(attempt, attempt->last_error);
        return;
    }
    attempt->retry_timer.expires_after(retry_interval);
    attempt->retry_timer.async_wait([this, attempt](const beast::error_code& error) {
        if (!error && !attempt->done) {
            start_attempt(attempt);
        }
    });
}

void Mirava::Impl::finish_attempt(const std::shared_ptr<Attempt>& attempt, const std::string& failure) {
    if (attempt->done) {
        return;
    }
    attempt->done = true;
    attempt->deadline_timer.cancel();
    attempt->retry_timer.cancel();
    attempt->resolver.cancel();
    if (failure.empty()) {
        connection = attempt->connection;
        {
            const std::lock_guard lock(mutex);
            state = LinkState::Up;
            pump_active = false;
            mark_obstacles_if_changed();
            if (obstacles_wanted) {
                wake_pump();
            }
        }
        read_next(connection);
    } else {
        beast::error_code ignored;
        beast::get_lowest_layer(attempt->connection->ws).socket().close(ignored);
        const std::lock_guard lock(mutex);
        state = LinkState::Lost;
    }
    attempt->outcome.set_value(failure);
}

void Mirava::Impl::read_next(const std::shared_ptr<Connection>& reading) {
    // Nothing is expected from the application; reading answers its pings and notices its going away.
    reading->ws.async_read(reading->read_buffer, [this, reading](const beast::error_code& error, std::size_t) {
        if (reading != connection) {
            return;
        }
        if (error) {
            lose(reading, error);
            return;
        }
        reading->read_buffer.clear();
        read_next(reading);
    });
}

void Mirava::Impl::lose(const std::shared_ptr<Connection>& lost, const beast::error_code& error) {
    connection.reset();
    beast::error_code ignored;
    beast::get_lowest_layer(lost->ws).socket().close(ignored);
    std::string warning;
    {
        const std::lock_guard lock(mutex);
        if (state != LinkState::Up) {
            return;
        }
        state = LinkState::Lost;
        has_pending = false;
        obstacles_wanted = false;
        pump_active = false;
        if (!warned) {
            warned = true;
            warning = "[velmor.mirava] Lost the connection to Mirava at " + address_text + " (" + error.message() +
                      "); joint positions are dropped until the next reconnect.\n";
        }
    }
    if (!warning.empty()) {
        std::fputs(warning.c_str(), stderr);
    }
}

void Mirava::Impl::drop_connection() {
    if (connection) {
        beast::error_code ignored;
        beast::get_lowest_layer(connection->ws).socket().close(ignored);
        connection.reset();
    }
    const std::lock_guard lock(mutex);
    pump_active = false;
}

void Mirava::Impl::close_gracefully() {
    const auto closing = connection;
    connection.reset();
    if (!closing) {
        return;
    }
    auto grace = std::make_shared<asio::steady_timer>(io, close_grace);
    grace->async_wait([closing](const beast::error_code& error) {
        if (!error) {
            beast::error_code ignored;
            beast::get_lowest_layer(closing->ws).socket().close(ignored);
        }
    });
    closing->ws.async_close(websocket::close_code::normal, [grace](const beast::error_code&) { grace->cancel(); });
}

Mirava::Mirava(bool auto_connect, double timeout) : impl(std::make_unique<Impl>()) {
    if (auto_connect) {
        impl->reconnect(timeout);
    }
}

Mirava::~Mirava() = default;

void Mirava::reconnect(double timeout) {
    impl->reconnect(timeout);
}

}  // namespace velmor
