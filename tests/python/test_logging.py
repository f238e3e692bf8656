"""Log lines: to Python's logging on request, uncoloured under NO_COLOR, whole amid other output."""

import logging
import os
import re
import subprocess
import sys

import pytest

import velmor_driver_simulated as vds
from conftest import GOAL

REFUSAL = "Did not write the I/O signal 'part': it is an input, written only by the cell and the viewer page."


def test_a_warning_of_the_control_loop_reaches_logging_while_the_script_waits(driver, caplog, capfd):
    driver.time_speed = 0.0
    driver.create_io("part", 0, direction=vds.SimulatedDriver.Direction.Input)
    # The action runs on the loop thread, holding the GIL, while the main thread waits in move_to.
    driver.add_event(vds.Trigger.Time() > 0.1, lambda time: driver.set_digital_output("part", 1))
    vds.log_to_python(True)
    try:
        assert driver.move_to(GOAL) == vds.Result.Success and vds.flush_log()
    finally:
        vds.log_to_python(False)
    assert [(record.name, record.levelno, record.getMessage()) for record in caplog.records] == \
        [("velmor.driver", logging.WARNING, REFUSAL)]
    assert "velmor" not in capfd.readouterr().out
    driver.set_digital_output("part", 1)
    assert vds.flush_log() and REFUSAL in capfd.readouterr().out


CHATTY = f"""import threading, velmor, velmor_driver_simulated as vds
driver = vds.SimulatedDriver(velmor.Planner(velmor.robots.UR5e()))
driver.create_io("part", 0, direction=vds.SimulatedDriver.Direction.Input)
done = threading.Event()
thread = threading.Thread(target=lambda: [print("good") for _ in iter(done.is_set, True)])
thread.start()
for _ in range(300):
    driver.set_digital_output("part", 1)
vds.flush_log(); done.set(); thread.join()
"""


@pytest.mark.parametrize("no_color", [None, "", "1"])
def test_log_lines_stay_whole_amid_unbuffered_prints(no_color):
    environment = {key: value for key, value in os.environ.items() if key != "NO_COLOR"} | \
        {"PYTHONUNBUFFERED": "1", "VELMOR_LOG_LEVEL": "warn"} | ({} if no_color is None else {"NO_COLOR": no_color})
    finished = subprocess.run([sys.executable, "-c", CHATTY], env=environment, capture_output=True, timeout=60)
    assert finished.returncode == 0, finished.stderr
    output = finished.stdout.decode()
    colour, reset = ("", "") if no_color is not None else ("\x1b[1;33m", "\x1b[0m")
    line = re.escape(f"{colour}[velmor.driver] {REFUSAL}{reset}\n")
    # print writes "good" and its newline apart, so a log line may follow "good"; it stays whole.
    assert len(re.findall(line, output)) == 300 and set(re.sub(line, "", output).split()) == {"good"}
    assert ("\x1b" in output) == (no_color is None)
