"""Cost of frequent script calls into the simulated driver, in ns per call of the
calling thread's processor time (which a busy machine disturbs less than the wall clock).

Run by hand with the modules on the path, e.g.
    PYTHONPATH=build/python /usr/bin/python3 bench/python_calls_bench.py
"""

import time

import velmor
import velmor_driver_simulated as vds

CALLS = 200_000


def per_call_ns(call, calls=CALLS):
    for _ in range(1000):
        call()
    start = time.thread_time_ns()
    for _ in range(calls):
        call()
    return (time.thread_time_ns() - start) / calls


def finished_future_poll(future):
    awaited = future.__await__()

    def poll():
        try:
            awaited.__next__()
        except StopIteration:
            pass
    return poll


def main():
    planner = velmor.Planner(velmor.Environment(velmor.robots.UR5e()))
    driver = vds.SimulatedDriver(planner)
    finished = driver.stop_async()
    # A motion slowed down so far that it stays unfinished while it is polled.
    driver.time_speed = 0.001
    running = driver.move_to_async([0.4, -0.3, 0.5, 0.2, -0.2, 0.3])
    pending = running.__await__()
    baseline = per_call_ns(lambda: None)
    # The floor of a call into the module: a bound getter that only returns a member.
    floor = per_call_ns(lambda: driver.degrees_of_freedom) - baseline
    figures = {
        'driver.get_digital_input("x")': per_call_ns(lambda: driver.get_digital_input("x")),
        "driver.current_joint_position": per_call_ns(lambda: driver.current_joint_position),
        "finished future __next__": per_call_ns(finished_future_poll(finished)),
        "unfinished future __next__": per_call_ns(pending.__next__),
    }
    print(f"{'empty lambda call (subtracted below)':40s} {baseline:8.1f} ns")
    print(f"{'driver.degrees_of_freedom (reference)':40s} {floor:8.1f} ns")
    for name, ns in figures.items():
        print(f"{name:40s} {ns - baseline:8.1f} ns {(ns - baseline) / floor:6.2f}x the reference")
    driver.time_speed = 0.0
    driver.stop()
    driver.disconnect()


if __name__ == "__main__":
    main()
