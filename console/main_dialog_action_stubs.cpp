// Placeholder definitions of MainDialog's action handlers lived here until console/actions
// provided them; every one is now implemented there.
