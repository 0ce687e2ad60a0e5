"""The Python examples of the pages (README.md, doc/python.md): together they use every public
name, mypy --strict passes on them (and on the package), and they run, one after the other, on
a demo scene in a scratch folder. Usage: doc_examples.py MKSCENE PAGE... (polyest importable)."""
import re
import subprocess
import sys
import tempfile
from pathlib import Path

import polyest

examples = [text for page in sys.argv[2:] for text in
            re.findall(r"^```python\n(.*?)^```", Path(page).read_text(), re.S | re.M)]
unused = [name for name in polyest.__all__ + ["__version__"]
          if not any(f"polyest.{name}" in text for text in examples)]
assert examples and not unused, f"no example uses {unused}"
with tempfile.TemporaryDirectory() as folder:
    scripts = [Path(folder) / f"example_{k}.py" for k in range(len(examples))]
    for script, text in zip(scripts, examples):
        script.write_text(text)
    (Path(folder) / "demo").mkdir()
    subprocess.run([sys.argv[1], "demo/offs", "demo/ccp", "demo/scene.KOLT_par"], cwd=folder,
                   check=True, stdout=subprocess.DEVNULL)
    subprocess.run([sys.executable, "-m", "mypy", "--strict", "--cache-dir", f"{folder}/cache",
                    Path(polyest.__file__).parent, *scripts], cwd=folder, check=True)
    for script in scripts:
        subprocess.run([sys.executable, str(script)], cwd=folder, check=True)
