# The peer of kit_bench: the same read, edit, binary write (backup first, temporary file and
# rename) and read-back check with Python's plistlib. Runs one round for each line on standard
# input (after the bench has put the initial store back) and answers with its seconds, so the two
# sides take turns under the same machine load.
import datetime, os, plistlib, shutil, sys, time

path, module_url = sys.argv[1], sys.argv[2]
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

for _ in sys.stdin:
    start = time.perf_counter()
    one_round()
    print(time.perf_counter() - start, flush=True)
