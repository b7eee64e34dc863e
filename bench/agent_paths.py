"""Paths shared by the agent benchmarks: the builds, the Wine wrapper and the agent's settings key."""
import os

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
REFSERVER = os.environ.get("ZK_REFSERVER", os.path.join(ROOT, "build", "native-release", "tools", "refserver", "refserver"))
AGENT = os.path.join(ROOT, "build", "windows", "src", "uploader.exe")
AGENTCTL = os.path.join(ROOT, "build", "windows", "tools", "agentctl", "agentctl.exe")
WINE_RUN = os.path.join(ROOT, "scripts", "wine-run.sh")
KEY = r"HKCU\Software\ZELTAVIO\TOLMARIN_SS_UPLOADER"
