import pytest

import _morvane

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
