#!/usr/bin/python3
"""Times an assembly in the playground page itself, in headless Chromium:
the engine's own time and the whole Assemble click (the assembly, then the
messages, hex dump and listing put into the page and laid out).

usage: playground_in_browser.py build/web PROGRAM.asm [RUNS]
"""
import pathlib
import statistics
import sys

from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.support.ui import WebDriverWait

CLICK_AND_LAYOUT = """
const started = performance.now();
document.getElementById('assemble').click();
document.body.offsetHeight;
return [window.vexaPlayground.assembled.millis, performance.now() - started,
        window.vexaPlayground.assembled.status];
"""


def main():
    web, program = pathlib.Path(sys.argv[1]).resolve(), pathlib.Path(sys.argv[2])
    runs = int(sys.argv[3]) if len(sys.argv) > 3 else 7
    options = webdriver.ChromeOptions()
    options.binary_location = "/usr/bin/chromium"
    for argument in ("--headless=new", "--no-sandbox", "--disable-gpu", "--window-size=1400,900"):
        options.add_argument(argument)
    driver = webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)
    try:
        driver.get((web / "index.html").as_uri())
        WebDriverWait(driver, 30).until(lambda d: d.execute_script("return window.vexaPlayground.ready === true"))
        source = program.read_text(encoding="latin-1")
        driver.execute_script("const e = document.getElementById('source'); e.value = arguments[0];"
                              "e.dispatchEvent(new Event('input'));", source)
        driver.execute_script(CLICK_AND_LAYOUT)  # warm-up
        timings = [driver.execute_script(CLICK_AND_LAYOUT) for _ in range(runs)]
    finally:
        driver.quit()
    if any(status != 0 for _, _, status in timings):
        sys.exit("the program did not assemble")
    lines = source.count("\n")
    engine = [round(t[0], 1) for t in timings]
    click = [round(t[1], 1) for t in timings]
    print(f"{lines} lines: engine median {statistics.median(engine)} ms {engine}")
    print(f"{lines} lines: whole click median {statistics.median(click)} ms {click}")


if __name__ == "__main__":
    main()
