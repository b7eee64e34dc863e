"""Paths shared by the agent benchmarks: the builds, the Wine wrapper and the agent's settings key.
ZK_BENCH_WINDOWS and ZK_BENCH_NATIVE name other build folders of the two presets."""
import os

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
WINDOWS_BUILD = os.environ.get("ZK_BENCH_WINDOWS", os.path.join(ROOT, "build", "windows"))
NATIVE_BUILD = os.environ.get("ZK_BENCH_NATIVE", os.path.join(ROOT, "build", "native-release"))
REFSERVER = os.environ.get("ZK_REFSERVER", os.path.join(NATIVE_BUILD, "tools", "refserver", "refserver"))
AGENT = os.path.join(WINDOWS_BUILD, "src", "uploader.exe")
AGENTCTL = os.path.join(WINDOWS_BUILD, "tools", "agentctl", "agentctl.exe")
WINE_RUN = os.path.join(ROOT, "scripts", "wine-run.sh")
KEY = r"HKCU\Software\ZELTAVIO\TOLMARIN_SS_UPLOADER"
