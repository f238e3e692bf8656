"""Hostile and careless use of the cell's devices from a script: each attack runs in a
child interpreter under a memory cap and a deadline, as in test_driver_api."""

import pytest

from test_driver_api import attack


@pytest.mark.parametrize("make, text", [
    ("vds.Follow('a', 'b', float('nan'))", "delay"),
    ("vds.Follow('a', 'b', float('inf'))", "delay"),
    ("vds.Pulse('a', 0.0)", "period"),
    ("vds.Pulse('a', 1.0, float('nan'))", "duty"),
    ("vds.Feeder('a', first=-1.0)", "first part"),
    ("vds.Feeder('a', every=1e-300)", "between"),
    ("vds.Callback('a', float('nan'), print)", "period"),
    ("vds.Callback('', 1.0, print)", "name"),
])
def test_device_settings_are_checked(make, text):
    attack(f"raises(RuntimeError, {text!r}, lambda: {make})")


# Whatever a device's function does to the driver, it neither deadlocks nor crashes: what
# it may not do fails that device, which is removed, and disconnect() reports it.
@pytest.mark.parametrize("body, text", [
    ("driver.sleep(1.0)", "cannot be called"),
    ("driver.wait_for(Trigger.IO('a') == 1)", "cannot be called"),
    ("driver.add_device(vds.Pulse('a', 1.0))", "cannot add"),
    ("driver.devices()", "cannot list"),
    ("kept.append(io)", "which is over"),
    ("io['missing'] = 1", "does not exist"),
    ("io['a'] = 1.5", "other kind"),
])
def test_what_a_device_function_may_not_do_fails_only_that_device(body, text):
    attack(f"""
        driver.create_io("a", 0)
        kept = []
        def function(clock, io):
            {body}
            if kept:
                kept[0]["a"] = 1
        driver.add_device(vds.Callback("rogue", 0.01, function))
        driver.sleep(0.05)
        assert driver.devices() == []
        raises(RuntimeError, {text!r}, driver.disconnect)
        driver.reconnect()
        assert driver.move_to(GOAL) == Result.Success
    """)


def test_a_flood_of_changes_between_two_rings_is_bounded():
    attack("""
        driver.create_io("a", 0)
        driver.create_io("b", 0)
        driver.add_device(vds.Follow("a", "b", 1.0))
        for value in range(200_000):
            driver.set_digital_output("a", value)
        driver.sleep(0.1)
        assert driver.devices() == []
        raises(RuntimeError, "signal changes", driver.disconnect)
    """)


def test_a_fast_pulse_through_a_long_dwell_stays_bounded():
    attack("""
        driver.create_io("a", 0)
        driver.add_device(vds.Pulse("a", 1e-3))
        with driver.record() as recording:
            driver.sleep(100.0)
        assert len(recording.io) == 200_001
    """)
