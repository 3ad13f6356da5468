import os

import pytest
from hypothesis import settings

import _morvane

# The suite run by the build draws the same examples every time, so a result never depends on
# the run; by hand, each run explores anew unless HYPOTHESIS_PROFILE says otherwise.
settings.register_profile("derandomized", derandomize=True)
settings.load_profile(os.environ.get("HYPOTHESIS_PROFILE", "default"))

WORKED_NODES = {"Person": ["name", "age"], "Movie": ["title"], "Tag": []}
WORKED_RELATIONSHIPS = {
    "ACTED_IN": ("Person", "Movie", ["role"]),
    "KNOWS": ("Person", "Person", []),
}


@pytest.fixture
def worked():
    """Labels Person (name, age), Movie (title), Tag (none); types ACTED_IN Person->Movie
    (role) and KNOWS Person->Person (none)."""
    return _morvane.Schema(WORKED_NODES, WORKED_RELATIONSHIPS)
