"""Memory exhaustion: no crash, only a MemoryError or the right result, first use included."""

import pathlib
import re
import subprocess
import sys


def test_keyword_call_after_a_memory_error_in_the_first_one(run_python):
    # The first keyword call sets up the parameter names; failing half-way must
    # leave none of them set up.
    result = run_python(
        """
        import _testcapi
        from vantorel import BlackScholes
        kw = dict(cdf_d1=0.5, df_q=1.0, tau=1.0, chi=1.0, spot=2.0)
        for k in range(8):
            _testcapi.set_nomemory(k, 0)
            try:
                BlackScholes.rho_q_impl(**kw)
            except MemoryError:
                pass
            finally:
                _testcapi.remove_mem_hooks()
        print(BlackScholes.rho_q_impl(**kw))
        """
    )
    assert (result.returncode, result.stdout) == (0, "-1.0\n"), result.stderr


def test_every_callable_first_used_while_allocations_fail():
    driver = pathlib.Path(__file__).with_name("memory_exhaustion.py")
    result = subprocess.run([sys.executable, driver, "--single"], capture_output=True, text=True, timeout=600)
    assert result.returncode == 0, result.stdout + result.stderr
    for package, least in [("vantorel", 150), ("vantorel_np._ufuncs", 25)]:
        swept = re.search(rf"^{re.escape(package)}: (\d+) of (\d+) callables swept over \d+ allocation points, 0 failures$",
                          result.stdout, re.M)  # fmt: skip
        assert swept and swept[1] == swept[2] and int(swept[1]) > least, result.stdout
