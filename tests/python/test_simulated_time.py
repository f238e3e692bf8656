"""The simulated clock, dwells and waits on it, and I/O triggers."""

import threading
import time

import pytest

from conftest import GOAL
from velmor_driver_simulated import Result, Trigger


def cycles_of(driver, count, clock=0.0):
    """The clock after `count` cycles from `clock`, summed as the driver sums them."""
    for _ in range(count):
        clock += driver.delta_time
    return clock


@pytest.mark.parametrize("stepping", [True, False], ids=["stepping", "time_speed_0"])
def test_the_clock_counts_cycles_and_dwells_exactly(driver, stepping):
    driver.time_speed = 0.0
    driver.stepping = stepping
    start = driver.clock
    time.sleep(0.05)
    assert driver.clock == start
    motion = driver.move_to_async(GOAL)
    while stepping and driver.step(cycles=100):
        pass
    assert motion.get() == Result.Success
    cycles = round((driver.clock - start) / driver.delta_time)
    moved = cycles_of(driver, cycles, start)
    assert cycles > 0 and driver.clock == moved
    started = time.monotonic()
    driver.sleep(seconds=2.5)
    assert driver.clock == moved + 2.5
    assert not driver.wait_for(Trigger.IO("part") == 1, timeout=10.0)
    assert driver.clock == moved + 2.5 + 10.0
    assert time.monotonic() - started < 5.0
    with pytest.raises(RuntimeError, match="finite"):
        driver.sleep(-1.0)


def test_the_idle_clock_follows_wall_time_at_a_speed(driver):
    driver.time_speed = 50.0
    before = driver.clock
    time.sleep(0.1)
    # In whole cycles, from a cycle after the clock last stood still.
    assert driver.clock >= before + 50.0 * 0.1 - 2 * driver.delta_time
    start = driver.clock
    assert driver.sleep_async(0.5).get(timeout=30.0) is True
    assert driver.clock >= start + 0.5


@pytest.mark.parametrize("comparison, value, holds", [
    (lambda io: io == 1, 1, True), (lambda io: io != 1, 1, False), (lambda io: io != 1, 2, True),
    (lambda io: io < 1, 0, True), (lambda io: io > 1, 1, False),
], ids=["eq", "ne-same", "ne-other", "lt", "gt"])
def test_io_triggers_compare_the_signal(driver, comparison, value, holds):
    driver.time_speed = 0.0
    driver.create_io("part", value)
    assert driver.wait_for(comparison(Trigger.IO("part")), timeout=1.0) == holds
    assert not driver.wait_for(Trigger.IO("unknown") != 1, timeout=1.0)


def test_a_wait_returns_when_another_thread_sets_the_signal(driver):
    driver.time_speed = 0.0
    driver.create_io("part", 0)
    start = driver.clock
    waiting = driver.wait_for_async(Trigger.IO("part") == 1)
    assert not waiting.wait(timeout=0.05)
    threading.Timer(0.05, driver.set_digital_output, args=("part", 1)).start()
    assert driver.wait_for(Trigger.IO("part") == 1) and waiting.get(timeout=30.0) is True
    assert driver.clock == start


def test_an_io_trigger_fires_its_event_in_the_cycle_that_sees_the_change(driver):
    driver.stepping = True
    driver.create_io("part", 0)
    start = driver.clock
    fired = []
    driver.add_event(Trigger.IO("part") == 1, lambda _: fired.append(driver.clock))
    motion = driver.move_to_async(GOAL)
    assert driver.step(cycles=5) == 5 and not fired
    driver.set_digital_output("part", 1)
    ended = driver.wait_for_async((Trigger.IO("part") == 1) & (Trigger.Time() < 1.0), timeout=100.0)
    assert driver.step() == 1 and fired == [cycles_of(driver, 6, start)]
    assert ended.get(timeout=30.0) is True
    while driver.step(cycles=100):
        pass
    assert motion.get() == Result.Success


def test_waits_are_refused_inside_an_action(driver):
    refusals = []

    def wait_inside(_):
        for wait in (lambda: driver.sleep(1.0), lambda: driver.wait_for(Trigger.IO("part") == 1, timeout=1.0)):
            try:
                wait()
            except RuntimeError as error:
                refusals.append(str(error))

    driver.add_event(Trigger.Time() > 0.1, wait_inside)
    assert driver.move_to(GOAL) == Result.Success
    assert len(refusals) == 2 and all("event action" in refusal for refusal in refusals)
