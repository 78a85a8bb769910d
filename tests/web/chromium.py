"""Debian's Chromium, headless, under its WebDriver: nothing downloaded, no network of its own."""
import tempfile

from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common import utils


class LoopbackService(Service):
    """chromedriver reached at 127.0.0.1: not every machine's /etc/hosts names localhost."""

    @property
    def service_url(self):
        return f"http://127.0.0.1:{self.port}"

    def is_connectable(self):
        return utils.is_connectable(self.port, "127.0.0.1")


def browser(language="en-US", downloads=None):
    options = webdriver.ChromeOptions()
    options.binary_location = "/usr/bin/chromium"
    for flag in ("--headless", "--no-sandbox", "--disable-gpu", "--no-first-run", "--disable-background-networking",
                 "--disable-component-update", "--disable-sync", "--disable-dev-shm-usage", "--remote-debugging-pipe",
                 f"--lang={language}", "--window-size=1280,900", f"--user-data-dir={tempfile.mkdtemp()}"):
        options.add_argument(flag)
    options.add_experimental_option("prefs", {"intl.accept_languages": language})
    driver = webdriver.Chrome(service=LoopbackService("/usr/bin/chromedriver"), options=options)
    if downloads:
        driver.execute_cdp_cmd("Browser.setDownloadBehavior", {"behavior": "allow", "downloadPath": str(downloads)})
    return driver
