# The peer of kit_bench: the same read, edit, binary write (backup first, temporary file and
# rename) and read-back check with Python's plistlib. Prints the median seconds per round.
import datetime, os, plistlib, shutil, statistics, sys, time

path, module_url, rounds = sys.argv[1], sys.argv[2], int(sys.argv[3])
config = plistlib.dumps({"module": {"relative": module_url}}, fmt=plistlib.FMT_BINARY)

def choice():
    now = datetime.datetime.utcnow()
    return {"Content": {"Choices": [{"Configuration": config, "Files": [], "Provider": "com.apple.wallpaper.choice.screen-saver"}]},
            "LastSet": now, "LastUse": now}

def one_round():
    with open(path, "rb") as f:
        store = plistlib.load(f)
    store["AllSpacesAndDisplays"] = {"Type": "idle", "Idle": choice()}
    for entry in store["Spaces"].values():
        entry.setdefault("Default", {"Type": "individual"})["Idle"] = choice()
        for slot in entry.setdefault("Displays", {}).values():
            slot["Idle"] = choice()
    store.setdefault("SystemDefault", {"Type": "individual"})["Idle"] = choice()
    shutil.copyfile(path, path + ".backup")
    data = plistlib.dumps(store, fmt=plistlib.FMT_BINARY)
    with open(path + ".tmp", "wb") as f:
        f.write(data)
        f.flush()
        os.fsync(f.fileno())
    os.replace(path + ".tmp", path)
    with open(path, "rb") as f:
        check = plistlib.load(f)
    assert all("Idle" in e["Default"] for e in check["Spaces"].values())

times = []
for _ in range(rounds):
    start = time.perf_counter()
    one_round()
    times.append(time.perf_counter() - start)
print(statistics.median(times))
