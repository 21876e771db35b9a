def test_package_imports():
    import tarvello

    assert tarvello.__doc__
